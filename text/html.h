// Text as it may stand inside HTML.
#pragma once

#include <string>
#include <string_view>

namespace text {

// & < > " ' as character references, so the text stands for itself inside an element or a
// quoted attribute. Byte-wise, which is safe for Shift-JIS and UTF-8 alike: these bytes never
// occur inside a multi-byte character of either.
std::string EscapeHtml(std::string_view s);

}  // namespace text
