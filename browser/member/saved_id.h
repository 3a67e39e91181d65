// your.id: the member ID and the saved password (or "0" for none), two CR LF lines.
#pragma once

#include <optional>
#include <string>

namespace mirabo {

inline constexpr const char* kSavedIdFile = "your.id";

struct SavedId {
  std::string id;
  std::string password;  // "0" in the file reads back as empty
};

// The start-up reader: the first 128 bytes, up to a NUL; each line up to its LF, less the CR in
// front of it when there is one; a line whose LF is not within what was read is empty.
// nullopt when the file cannot be opened.
std::optional<SavedId> ReadSavedId(const std::string& path = kSavedIdFile);

// The one writer of the file's format: "ID\r\nPASSWORD\r\n", replaced whole, readable by its
// owner only. password is written as given ("0" for none). false when it could not be written.
bool WriteSavedId(const std::string& id, const std::string& password,
                  const std::string& path = kSavedIdFile);

}  // namespace mirabo
