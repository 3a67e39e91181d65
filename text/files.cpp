#include "text/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace text {
namespace {

// Reads from fd until end of file or until limit bytes are in out. false on a read error.
bool ReadInto(int fd, std::size_t limit, std::string& out) {
  char buffer[65536];
  while (out.size() < limit) {
    std::size_t want = std::min(sizeof buffer, limit - out.size());
    ssize_t got = ::read(fd, buffer, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  return true;
}

std::optional<std::string> ReadUpTo(const std::string& path, std::size_t limit) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  bool ok = ReadInto(fd, limit, bytes);
  ::close(fd);
  if (!ok) return std::nullopt;
  return bytes;
}

bool WriteFully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// A name for the temporary file beside path: hidden, so folder listings do not pick it up,
// and unique to this process and call.
std::string TempNameFor(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  std::string::size_type slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + "." + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt) + ".tmp";
}

bool EndsWithExe(std::string_view path) {
  if (path.size() < 4) return false;
  std::string_view tail = path.substr(path.size() - 4);
  static constexpr char kExe[] = ".exe";
  for (std::size_t i = 0; i < 4; ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExe[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadHead(const std::string& path, std::size_t max_bytes) {
  std::optional<std::string> bytes = ReadUpTo(path, max_bytes);
  if (bytes) {
    std::string::size_type nul = bytes->find('\0');
    if (nul != std::string::npos) bytes->resize(nul);
  }
  return bytes;
}

std::optional<std::string> ReadAll(const std::string& path) {
  return ReadUpTo(path, static_cast<std::size_t>(-1));
}

bool WriteAtomic(const std::string& path, std::string_view bytes, unsigned mode) {
  if (path.empty()) return false;
  std::string temp;
  int fd = -1;
  for (unsigned attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempNameFor(path, attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                static_cast<mode_t>(mode & 07777));
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  bool ok = WriteFully(fd, bytes);
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string LocalPath(std::string_view stored) {
  std::string local(stored);
  std::replace(local.begin(), local.end(), '\\', '/');
  if (EndsWithExe(local) && !Exists(local)) {
    std::string bare = local.substr(0, local.size() - 4);
    if (!bare.empty() && bare.back() != '/' && Exists(bare)) return bare;
  }
  return local;
}

}  // namespace text

namespace text {

std::optional<std::vector<std::string>> ListFolder(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
  closedir(dir);
  return names;
}

}  // namespace text
