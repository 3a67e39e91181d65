#include "browser/presence/status_file.h"

#include <cstdio>

namespace mirabo {

StatusFile ParseStatusFile(const std::string& bytes) {
  StatusFile f;
  std::size_t at = 0;
  for (std::string& text : f.texts) {
    if (at >= bytes.size()) break;  // no more lines: the rest stay empty
    std::size_t lf = bytes.find('\n', at);
    std::size_t end = lf == std::string::npos ? bytes.size() : lf;
    std::string line = bytes.substr(at, end - at);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    // A NUL ends the text, as it ended the original's string.
    if (std::size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
    // A longer line keeps its first 255 bytes; the rest of that line is dropped, so the next
    // line is still the next text.
    if (line.size() > kStatusTextMax) line.resize(kStatusTextMax);
    text = line;
    at = lf == std::string::npos ? bytes.size() : lf + 1;
  }
  std::string rest = at < bytes.size() ? bytes.substr(at) : std::string();
  int v[kStatusNumbers] = {};
  int n = std::sscanf(rest.c_str(), "%d,%d,%d,%d,%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3], &v[4],
                      &v[5], &v[6], &v[7]);
  for (int i = 0; i < n; ++i) f.numbers.push_back(v[i]);
  return f;
}

std::string FormatStatusFile(const std::vector<std::string>& texts,
                             const std::array<int, kStatusNumbers>& numbers) {
  std::string out;
  for (const std::string& t : texts) out += t + "\r\n";
  for (int i = 0; i < kStatusNumbers; ++i) {
    if (i > 0) out += ',';
    out += std::to_string(numbers[i]);
  }
  out += "\r\n";
  return out;
}

}  // namespace mirabo
