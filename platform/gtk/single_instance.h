// The single-instance marker on Linux: a lock file held with flock. The kernel drops the lock
// when the holder's file is closed, which happens however the process ends, so a crash never
// keeps the next start out. The file itself stays; only the lock on it counts.
#pragma once

#include <map>
#include <string>

#include "platform/services.h"

namespace platform::gtk {

class LockFileInstance : public platform::SingleInstance {
 public:
  // folder: where the lock files live; empty picks DefaultFolder().
  explicit LockFileInstance(std::string folder = std::string());
  ~LockFileInstance() override;  // releases every marker still held
  LockFileInstance(const LockFileInstance&) = delete;
  LockFileInstance& operator=(const LockFileInstance&) = delete;

  Result Acquire(const std::string& name) override;
  void Release(const std::string& name) override;

  // $XDG_RUNTIME_DIR when it is set, otherwise /tmp.
  static std::string DefaultFolder();
  // The lock file of a marker: its name with every character other than a letter, a digit, a
  // space, '-' or '_' made '_', then ".lock"; in /tmp the user's id joins the name, since the
  // folder is shared by every user.
  std::string PathFor(const std::string& name) const;

 private:
  std::string folder_;
  std::map<std::string, int> held_;  // marker name -> the open, locked file
};

}  // namespace platform::gtk
