#pragma once

#include <string>

namespace flash::test {

// A fresh directory under /tmp, removed with everything in it at destruction,
// also where a test took the write permission away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // Writes content (bytes as given) to name and answers the full path.
  std::string Write(const std::string& name, const std::string& content) const;
  // The whole file; empty when it cannot be read.
  static std::string Read(const std::string& path);

 private:
  std::string path_;
};

}  // namespace flash::test
