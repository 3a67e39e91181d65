// Shift-JIS (code page 932) text. The system keeps its text as Shift-JIS bytes in std::string;
// it becomes UTF-8 only where it meets the widgets and the web engine.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Shift-JIS bytes to UTF-8. A byte sequence that is not valid Shift-JIS becomes "?".
std::string ToUtf8(std::string_view sjis);

// UTF-8 to Shift-JIS bytes. A character without a Shift-JIS form (or invalid UTF-8) becomes "?".
std::string ToSjis(std::string_view utf8);

namespace literals {
// "ロック"_sj: a UTF-8 source literal as the Shift-JIS bytes the program works with.
std::string operator""_sj(const char* utf8, std::size_t length);
}  // namespace literals

}  // namespace text
