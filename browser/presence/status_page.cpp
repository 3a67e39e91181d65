#include "browser/presence/status_page.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "text/html.h"
#include "text/sjis.h"

namespace mirabo {

using namespace text::literals;

std::string StatusPage(const std::string& action, const std::string& member_id,
                       const std::string& status_text, const std::string& avatar_code) {
  static const std::string head =
      "<html><head><META HTTP-EQUIV=\"Content-Type\" Content=\"text/html; charset=Shift_JIS\">"
      "<title>*ONL STAT*</title></head><body bgcolor='#ffffff' "
      "onLoad='javascript:document.charset=\"Shift_JIS\"; document.myform.submit();'><center>"
      "<br><br><br><br><br><br><br><br><br><h2>";
  static const std::string writing = "(｀･ω･´) 書き込み中！"_sj;
  static const std::string fetching = "(･ω･) アバターコード取得中"_sj;
  return head + (avatar_code.empty() ? fetching : writing) +
         "</h2></center><form name=\"myform\" method=post accept-charset=Shift_JIS action=\"" +
         action + "\"><INPUT TYPE=\"hidden\" name=\"homepage\" value=\"" +
         text::EscapeHtml(member_id) +
         "\"><INPUT TYPE=\"hidden\" name=\"cpg\" value=\"1\"><input type=\"hidden\" "
         "name=message style=\"width:444px;\" maxlength=1500 value=\"" +
         text::EscapeHtml(status_text) + "\"><input type='hidden' name='avatar' value='" +
         text::EscapeHtml(avatar_code) + "'></form></body></html>";
}

namespace {

// The text's characters: a Shift-JIS lead byte and the byte after it make one, any other byte
// is one. Every Shift-JIS character is one UTF-16 unit, so positions and counts in characters
// are those of the original's wide strings.
std::vector<std::string_view> Chars(std::string_view s) {
  std::vector<std::string_view> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    std::size_t n = lead && i + 1 < s.size() ? 2 : 1;
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

// The first character position at which `part` starts, or npos.
std::size_t Find(const std::vector<std::string_view>& chars,
                 const std::vector<std::string_view>& part) {
  if (part.empty() || part.size() > chars.size()) return std::string::npos;
  auto it = std::search(chars.begin(), chars.end(), part.begin(), part.end());
  return it == chars.end() ? std::string::npos : static_cast<std::size_t>(it - chars.begin());
}

}  // namespace

bool RefusesPost(const std::string& outer_html) {
  static const std::string refused = "権限がないです"_sj;
  static const std::vector<std::string_view> part = Chars(refused);
  return Find(Chars(outer_html), part) != std::string::npos;
}

std::optional<std::string> AvatarCodeIn(const std::string& outer_html) {
  static const std::vector<std::string_view> mark = Chars("name='avatar'");
  const std::vector<std::string_view> chars = Chars(outer_html);
  std::size_t at = Find(chars, mark);
  if (at == std::string::npos) return std::nullopt;
  // Just behind "name='avatar' value='"; at most 64 characters, up to a double quote.
  std::string code;
  std::size_t taken = 0;
  for (std::size_t i = at + 21; i < chars.size() && taken < 64 && chars[i] != "\""; ++i, ++taken)
    code += chars[i];
  if (code.size() <= 3) return std::nullopt;
  return code + "11";
}

}  // namespace mirabo
