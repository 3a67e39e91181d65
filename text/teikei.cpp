#include "text/teikei.h"

#include <climits>
#include <optional>

#include "text/files.h"
#include "text/sjis.h"

namespace text {
namespace {

using namespace literals;

// A length line: decimal digits only, no sign, no spaces, no CR, within the range of an int.
std::optional<std::size_t> ParseLength(std::string_view line) {
  if (line.empty()) return std::nullopt;
  std::size_t value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
    if (value > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  }
  return value;
}

// Takes the bytes before the next LF and that LF off the front of rest; nullopt when no LF is
// left.
std::optional<std::string_view> TakeLine(std::string_view& rest) {
  std::string_view::size_type lf = rest.find('\n');
  if (lf == std::string_view::npos) return std::nullopt;
  std::string_view line = rest.substr(0, lf);
  rest.remove_prefix(lf + 1);
  return line;
}

TeikeiEntries DefaultsWithFirstBody(const std::string& first_body) {
  return {{
      {"日付"_sj, first_body},
      {"時刻"_sj, "（&hour時&min分&sec秒）"_sj},
      {"サンプル"_sj, "こんにちは、もう&hour時ですね。（´ｖ｀）♪"_sj},
      {"---", "---"},
      {"---", "---"},
      {"---", "---"},
  }};
}

}  // namespace

std::string TeikeiKeyName(int index) {
  static const char* const kNames[kTeikeiCount] = {"F1", "F2", "F3", "F4", "F11", "F12"};
  if (index < 0 || index >= kTeikeiCount) return {};
  return kNames[index];
}

TeikeiEntries BrowserDefaultTeikei() { return DefaultsWithFirstBody("&year年&mon月&day日"_sj); }

TeikeiEntries EditorDefaultTeikei() {
  return DefaultsWithFirstBody("&year年&mon月&day日です。"_sj);
}

TeikeiLoad ParseTeikei(std::string_view bytes, const TeikeiEntries& defaults) {
  TeikeiLoad load{defaults, false};
  std::string_view rest = bytes;
  for (TeikeiEntry& entry : load.entries) {
    std::optional<std::string_view> title = TakeLine(rest);
    std::optional<std::string_view> length_line;
    if (title) length_line = TakeLine(rest);
    std::optional<std::size_t> length;
    if (length_line) length = ParseLength(*length_line);
    if (!length) {
      load.damaged = true;
      break;
    }
    // A body cut short by the end of what was read is what is left.
    std::string_view body = rest.substr(0, *length);
    rest.remove_prefix(body.size());
    entry = {std::string(*title), std::string(body)};
    TakeLine(rest);  // normally just the LF after the body
  }
  return load;
}

std::string FormatTeikei(const TeikeiEntries& entries) {
  std::string out;
  for (const TeikeiEntry& e : entries) {
    out += e.title;
    out += '\n';
    out += std::to_string(e.body.size());
    out += '\n';
    out += e.body;
    out += '\n';
  }
  return out;
}

TeikeiLoad LoadTeikeiForBrowser() {
  std::optional<std::string> bytes = ReadHead(kTeikeiFile, kTeikeiReadLimit);
  if (!bytes) return {BrowserDefaultTeikei(), false};
  return ParseTeikei(*bytes, BrowserDefaultTeikei());
}

TeikeiLoad LoadTeikeiForEditor() {
  std::optional<std::string> bytes = ReadAll(kTeikeiFile);
  if (!bytes) return {EditorDefaultTeikei(), false};
  TeikeiLoad load = ParseTeikei(*bytes, EditorDefaultTeikei());
  for (TeikeiEntry& e : load.entries) e.body = TeikeiBodyToCrLf(e.body);
  return load;
}

bool SaveTeikeiFromEditor(const TeikeiEntries& entries) {
  TeikeiEntries stored = entries;
  for (TeikeiEntry& e : stored) e.body = TeikeiBodyFromCrLf(e.body);
  if (!WriteAtomic(kTeikeiFile, FormatTeikei(stored))) return false;
  WriteAtomic(kTeikeiMarker, "new");
  return true;
}

std::string TeikeiBodyToCrLf(std::string_view body) {
  std::string out;
  out.reserve(body.size() + body.size() / 16);
  for (char c : body) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string TeikeiBodyFromCrLf(std::string_view body) {
  std::string out;
  out.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') continue;
    out += body[i];
  }
  return out;
}

std::string TeikeiDamagedMessage() {
  return "定型文ファイル（Teikei.dat）が壊れています。読めなかった定型文は初期設定に戻しました。"_sj;
}

}  // namespace text
