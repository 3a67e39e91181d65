// Byte-exact file access in the working folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// The first max_bytes bytes of a file, cut at the first NUL byte, as the original's fixed-size
// buffer reads did. nullopt when the file cannot be opened or read.
std::optional<std::string> ReadHead(const std::string& path, std::size_t max_bytes);

// The whole file; nullopt when it cannot be read.
std::optional<std::string> ReadAll(const std::string& path);

// Replaces the file whole: the bytes are written beside it and renamed over it, so no reader
// ever sees half a file. The file ends up with mode (less the umask) whether it is created or
// replaced (0600 for files holding secrets). false when anything failed; the old file is then
// left as it was and no temporary file stays behind.
bool WriteAtomic(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// Whether path names something other than a folder, as the original's file existence test did.
// The names in a folder in the order the system lists them, "." and ".." included; nullopt when
// it cannot be listed.
std::optional<std::vector<std::string>> ListFolder(const std::string& path);

bool Exists(const std::string& path);
// Deletes the file; false when it could not be deleted (or was not there).
bool Remove(const std::string& path);

// A stored Windows-style path ("AddIn\\006Quillet\\Quillet.exe") as a local path: backslashes
// become folder separators, and "X.exe" names "X" when only that exists.
std::string LocalPath(std::string_view stored);

}  // namespace text
