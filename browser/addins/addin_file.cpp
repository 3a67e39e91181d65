#include "browser/addins/addin_file.h"

namespace mirabo {

AddInFile ParseAddInFile(const std::string& text) {
  AddInFile f;
  std::size_t from = 0;
  auto section = [&](const char* tag, std::optional<std::string>& out) {
    std::size_t at = text.find(tag, from);
    if (at == std::string::npos) return;
    std::size_t start = at + std::char_traits<char>::length(tag);
    from = start;
    std::size_t lf = text.find('\n', start);
    if (lf == std::string::npos) {
      out = std::string();
      return;
    }
    std::string value = text.substr(start, lf - start);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    out = value;
  };
  section("[HINT]", f.hint);
  section("[PATH]", f.path);
  section("[PRAM]", f.param);
  section("[ICON]", f.icon);
  return f;
}

}  // namespace mirabo
