#include "browser/member/saved_id.h"

#include "text/files.h"

namespace mirabo {

namespace {

// Takes one line off the front of `rest`.
std::string TakeLine(std::string& rest) {
  std::size_t lf = rest.find('\n');
  if (lf == std::string::npos) {
    rest.clear();
    return {};
  }
  std::string line = rest.substr(0, lf);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  rest.erase(0, lf + 1);
  return line;
}

}  // namespace

std::optional<SavedId> ReadSavedId(const std::string& path) {
  std::optional<std::string> head = text::ReadHead(path, 128);
  if (!head) return std::nullopt;
  std::string rest = *head;
  SavedId s;
  s.id = TakeLine(rest);
  s.password = TakeLine(rest);
  if (s.password == "0") s.password.clear();
  return s;
}

bool WriteSavedId(const std::string& id, const std::string& password, const std::string& path) {
  return text::WriteAtomic(path, id + "\r\n" + password + "\r\n", 0600);
}

}  // namespace mirabo
