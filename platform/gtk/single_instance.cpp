#include "platform/gtk/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform::gtk {

LockFileInstance::LockFileInstance(std::string folder)
    : folder_(folder.empty() ? DefaultFolder() : std::move(folder)) {}

LockFileInstance::~LockFileInstance() {
  for (auto& [name, fd] : held_) ::close(fd);
}

std::string LockFileInstance::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return runtime;
  return "/tmp";
}

std::string LockFileInstance::PathFor(const std::string& name) const {
  std::string file;
  for (char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == ' ' || c == '-' || c == '_';
    file += plain ? c : '_';
  }
  if (folder_ == "/tmp") file += "-" + std::to_string(::getuid());
  std::string path = folder_;
  if (path.empty() || path.back() != '/') path += '/';
  return path + file + ".lock";
}

platform::SingleInstance::Result LockFileInstance::Acquire(const std::string& name) {
  if (held_.count(name)) return Result::Acquired;
  std::string path = PathFor(name);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return Result::Failed;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int err = errno;
    ::close(fd);
    return err == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
  }
  held_[name] = fd;
  return Result::Acquired;
}

void LockFileInstance::Release(const std::string& name) {
  auto it = held_.find(name);
  if (it == held_.end()) return;
  ::close(it->second);
  held_.erase(it);
}

}  // namespace platform::gtk
