#include "text/sjis.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>

namespace text {
namespace {

// Code page 932 as Windows has it: the NEC and IBM extension rows, and the Windows mappings
// of characters such as "～" (U+FF5E) and "－" (U+FF0D).
constexpr const char kCodePage[] = "CP932";

// One conversion direction, opened on first use and kept for the thread's life: the GUI
// timers convert captions many times a second.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of in. At a sequence that cannot be converted, skip(in) tells how many bytes
  // it spans; those bytes become one '?' and the conversion goes on after them.
  template <typename Skip>
  std::string Run(std::string_view in, Skip skip) {
    std::string out;
    if (!Ok()) return std::string(in.size(), '?');
    out.reserve(in.size() * 3 / 2 + 16);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);

    char buffer[4096];
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    while (src_left > 0) {
      char* dst = buffer;
      std::size_t dst_left = sizeof buffer;
      std::size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      int err = errno;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) break;
      if (err == E2BIG) continue;
      // EILSEQ (a sequence without a form in the target) or EINVAL (cut short at the end).
      std::size_t bad = err == EINVAL ? src_left : skip(std::string_view(src, src_left));
      if (bad == 0 || bad > src_left) bad = 1;
      out.push_back('?');
      src += bad;
      src_left -= bad;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

bool IsAscii(std::string_view s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// A two-byte code that is well formed but has no character counts as one bad character; any
// other bad byte counts alone, so the byte after it is read afresh.
std::size_t BadSjisLength(std::string_view s) {
  auto lead = static_cast<unsigned char>(s[0]);
  if (s.size() >= 2 && IsLeadByte(lead) && IsTrailByte(static_cast<unsigned char>(s[1]))) {
    return 2;
  }
  return 1;
}

// The length of the UTF-8 character at the start of s when it is well formed; otherwise the
// length of its longest well-formed beginning (at least 1), which stands for one bad character.
std::size_t BadUtf8Length(std::string_view s) {
  auto c0 = static_cast<unsigned char>(s[0]);
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
  if (c0 >= 0xC2 && c0 <= 0xDF) {
    n = 2;
  } else if (c0 >= 0xE0 && c0 <= 0xEF) {
    n = 3;
    if (c0 == 0xE0) lo = 0xA0;
    if (c0 == 0xED) hi = 0x9F;
  } else if (c0 >= 0xF0 && c0 <= 0xF4) {
    n = 4;
    if (c0 == 0xF0) lo = 0x90;
    if (c0 == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  std::size_t i = 1;
  for (; i < n && i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < lo || c > hi) break;
    lo = 0x80;
    hi = 0xBF;
  }
  return i;
}

}  // namespace

std::string ToUtf8(std::string_view sjis) {
  if (IsAscii(sjis)) return std::string(sjis);
  thread_local Converter converter("UTF-8", kCodePage);
  return converter.Run(sjis, BadSjisLength);
}

std::string ToSjis(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter converter(kCodePage, "UTF-8");
  return converter.Run(utf8, BadUtf8Length);
}

namespace literals {
std::string operator""_sj(const char* utf8, std::size_t length) {
  return ToSjis(std::string_view(utf8, length));
}
}  // namespace literals

}  // namespace text
