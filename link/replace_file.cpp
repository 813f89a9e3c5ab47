#include "link/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "link/write_all.h"

namespace flash {
namespace {

std::atomic<unsigned> temporaryCounter{0};

std::string ResolvedTarget(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    std::string target(real);
    std::free(real);
    return target;
  }
  return path;  // a dangling link is replaced by the file itself
}

int ReadAll(int fd, std::string& content) {
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    content.append(chunk, static_cast<std::size_t>(got));
  }
}

int Truncated(int fd) { return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 ? 0 : errno; }

// The file itself is written over: it keeps its owner, group, mode and links. A
// failure midway puts the old content back as far as the disk lets it.
int RewriteInPlace(const std::string& target, std::string_view content) {
  // Non-blocking and not through a link, in case something else took the file's place.
  const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return errno;
  struct stat info {};
  std::string old;
  int error = ::fstat(fd, &info) != 0 ? errno : 0;
  if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
  if (error == 0) error = ReadAll(fd, old);
  if (error == 0) {
    error = Truncated(fd);
    if (error == 0) error = WriteAll(fd, content);
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error != 0 && Truncated(fd) == 0 && WriteAll(fd, old) == 0) ::fsync(fd);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// A fresh file beside target, only for this process; -errno when none can be made.
int CreateTemporary(const std::string& target, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = target + ".tmp-" + std::to_string(::getpid()) + "-" +
                std::to_string(temporaryCounter.fetch_add(1));
    // A new settings file gets the usual mode: 0666 less the umask, applied by open.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) return -errno;
  }
  return -EEXIST;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

int ReplaceFileContents(const std::string& path, std::string_view content) {
  const std::string target = ResolvedTarget(path);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    // Root passes every permission check, so the mode is read here: a file that
    // nobody may write was made read-only on purpose.
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return kFileMarkedReadOnly;
    // The rename below needs only the folder's permission; the file's own counts.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  }

  std::string temporary;
  const int fd = CreateTemporary(target, temporary);
  if (fd < 0) {
    // The folder takes no new file, but the file itself may be written.
    if (exists && (fd == -EACCES || fd == -EPERM)) return RewriteInPlace(target, content);
    return -fd;
  }

  int error = 0;
  if (exists) {
    // The new file is its maker's; it takes the old owner and group (before the
    // mode, since a change of owner clears the set-id bits). Whoever may not give
    // them writes the old file in place instead, which keeps them.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      ::close(fd);
      ::unlink(temporary.c_str());
      return RewriteInPlace(target, content);
    }
    if (::fchmod(fd, old.st_mode & 07777) != 0) error = errno;
  }

  if (error == 0) error = WriteAll(fd, content);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return error;
  }

  // The rename itself reaches the disk only with its directory.
  const int directory = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return 0;
}

}  // namespace flash
