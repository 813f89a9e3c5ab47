#include "link/small_text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace flash {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string Unreadable(int error) {
  return std::string("the file cannot be read (") + std::strerror(error) + ")";
}

// Answers the descriptor, or -1 with file's result and reason set.
int OpenRegular(const std::string& path, SmallTextFile& file) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) file.result = SmallTextFile::Result::Missing;
    file.reason = Unreadable(errno);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    file.reason = Unreadable(errno);
  } else if (S_ISDIR(info.st_mode)) {
    file.reason = "it is a folder, not a file";
  } else if (!S_ISREG(info.st_mode)) {
    file.reason = "it is a pipe or a device, not a regular file";
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

// Where the first byte the rule refuses stands, said for a person; empty when none.
std::string ForbiddenByte(std::string_view text) {
  int line = 1;
  int column = 1;  // in characters: the continuation bytes of UTF-8 add none
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\n') {
      ++line;
      column = 1;
      continue;
    }
    if ((byte < 0x20 && byte != '\t' && byte != '\r') || byte == 0x7F) {
      char what[48];
      if (byte == 0) {
        std::snprintf(what, sizeof what, "a NUL byte");
      } else {
        std::snprintf(what, sizeof what, "the control character 0x%02X", byte);
      }
      return "line " + std::to_string(line) + ", column " + std::to_string(column) + " holds " +
             what + "; save the file as plain text (UTF-8)";
    }
    if ((byte & 0xC0) != 0x80) ++column;
  }
  return {};
}

}  // namespace

SmallTextFile ReadSmallTextFile(const std::string& path) {
  SmallTextFile file;
  const int fd = OpenRegular(path, file);
  if (fd < 0) return file;
  std::string content;
  char chunk[4096];
  int error = 0;
  // One byte past the limit tells a file that is too large.
  while (content.size() <= kSmallTextFileLimit) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    content.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (error != 0) {
    file.reason = Unreadable(error);
    return file;
  }
  if (content.size() > kSmallTextFileLimit) {
    file.reason = "it is larger than " + std::to_string(kSmallTextFileLimit >> 20) +
                  " MiB, more than such a file ever holds";
    return file;
  }
  file.byteOrderMark = content.starts_with(kByteOrderMark);
  if (file.byteOrderMark) content.erase(0, kByteOrderMark.size());
  file.reason = ForbiddenByte(content);
  if (!file.reason.empty()) return file;
  file.result = SmallTextFile::Result::Read;
  file.text = std::move(content);
  return file;
}

}  // namespace flash
