#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace flash::bench {

// A new folder under /tmp for one benchmark's files, removed however the run ends.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name) {
    std::string pattern = "/tmp/flash-bench-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      std::perror("bench: cannot make a scratch folder");
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace flash::bench
