// A fresh, empty working folder for one test: made and entered at construction, left and
// removed at destruction.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

class WorkingFolder {
 public:
  WorkingFolder() : old_(std::filesystem::current_path()) {
    char tmpl[] = "/tmp/mirabo-test-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("no temporary folder");
    path_ = tmpl;
    std::filesystem::current_path(path_);
  }
  ~WorkingFolder() {
    std::filesystem::current_path(old_);
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The names in the folder, sorted (hidden ones too).
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path old_;
  std::filesystem::path path_;
};

}  // namespace testing_support
