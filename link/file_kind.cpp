#include "link/file_kind.h"

#include <sys/stat.h>

namespace flash {

std::optional<FileKind> KindOfFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  if (S_ISREG(info.st_mode)) return FileKind::Regular;
  if (S_ISDIR(info.st_mode)) return FileKind::Directory;
  return FileKind::Other;
}

}  // namespace flash
