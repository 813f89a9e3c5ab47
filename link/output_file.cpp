#include "link/output_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "link/replace_file.h"
#include "link/settings_file.h"

namespace flash {
namespace {

// A reader of a pipe or a device that takes nothing for this long is given up.
constexpr auto kStalledReaderLimit = std::chrono::seconds{5};

// The process's controlling terminal, /dev/tty: the user's own.
constexpr unsigned kControllingTerminalMajor = 5;
// Pseudo-terminals (the slaves of /dev/ptmx) have no entry in sysfs.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

// How a file that may be written is written.
enum class Way { Replace, Into };

OutputProblem Refused(OutputFault fault, std::string reason) { return {fault, std::move(reason)}; }

OutputProblem SystemRefused(int error) { return {OutputFault::WriteFailed, std::strerror(error)}; }

const InputFile* InputAt(const struct stat& info, const std::vector<InputFile>& inputs) {
  for (const InputFile& input : inputs) {
    struct stat other {};
    if (::stat(input.path.c_str(), &other) == 0 && other.st_dev == info.st_dev &&
        other.st_ino == info.st_ino) {
      return &input;
    }
  }
  return nullptr;
}

// Told apart without opening the device: opening a serial port raises its modem lines.
bool IsTerminal(dev_t device) {
  if (major(device) >= kFirstPtyMajor && major(device) <= kLastPtyMajor) return true;
  const std::string entry = "/sys/dev/char/" + std::to_string(major(device)) + ":" +
                            std::to_string(minor(device)) + "/subsystem";
  char target[PATH_MAX];
  const ssize_t length = ::readlink(entry.c_str(), target, sizeof target);
  return length > 0 && std::string_view(target, static_cast<std::size_t>(length)).ends_with("/tty");
}

// The terminal the tool's own output goes to, where its user reads.
bool IsOwnTerminal(dev_t device) {
  if (major(device) == kControllingTerminalMajor && minor(device) == 0) return true;
  for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device) return true;
  }
  return false;
}

// What the file that info describes (reached through a symbolic link when
// throughLink) may be, whatever anyone's permissions.
OutputProblem Judge(const struct stat& info, bool throughLink, const std::vector<InputFile>& inputs,
                    OutputNaming naming, Way& way) {
  if (const InputFile* input = InputAt(info, inputs)) {
    return Refused(OutputFault::InputFile,
                   "it is " + input->what + " (" + input->path + "); writing there would destroy it");
  }
  if (S_ISDIR(info.st_mode)) return Refused(OutputFault::WriteFailed, "it is a folder");
  if (S_ISREG(info.st_mode)) {
    if (throughLink) {
      return Refused(OutputFault::NotPlainFile,
                     "it is a symbolic link; the file it points to is not replaced");
    }
    way = Way::Replace;
    return {};
  }
  if (naming == OutputNaming::ByTool) {
    return Refused(OutputFault::NotPlainFile,
                   "it is not a regular file (a symbolic link, a pipe or a device) and is left alone");
  }
  if (S_ISBLK(info.st_mode)) return Refused(OutputFault::NotPlainFile, "it is a disk (a block device)");
  if (S_ISSOCK(info.st_mode)) return Refused(OutputFault::NotPlainFile, "it is a socket");
  if (S_ISCHR(info.st_mode) && IsTerminal(info.st_rdev) && !IsOwnTerminal(info.st_rdev)) {
    return Refused(OutputFault::NotPlainFile,
                   "it is a serial port or a terminal other than this one; a radio may be on it");
  }
  way = Way::Into;
  return {};
}

// The rule applied to what path names now; a missing file is a new regular one.
OutputProblem JudgePath(const std::string& path, const std::vector<InputFile>& inputs,
                        OutputNaming naming, Way& way, bool& exists) {
  struct stat info {};
  exists = ::lstat(path.c_str(), &info) == 0;
  if (!exists) {
    if (errno != ENOENT) return SystemRefused(errno);
    way = Way::Replace;
    return {};
  }
  const bool link = S_ISLNK(info.st_mode);
  if (link && ::stat(path.c_str(), &info) != 0) {
    return Refused(OutputFault::NotPlainFile,
                   "it is a symbolic link to nothing; no file is made where it points");
  }
  return Judge(info, link, inputs, naming, way);
}

// The rule applied again to what was opened, in case the name changed meanwhile.
OutputProblem JudgeOpened(int fd, const std::vector<InputFile>& inputs, OutputNaming naming,
                          Way expected) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return SystemRefused(errno);
  Way way = expected;
  OutputProblem problem = Judge(info, false, inputs, naming, way);
  if (problem.ok() && way != expected) {
    return Refused(OutputFault::NotPlainFile, "it changed into another kind of file meanwhile");
  }
  return problem;
}

// Writes everything to a device or a pipe opened without blocking.
OutputProblem WriteInto(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written > 0) {
      content.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN) return SystemRefused(errno);
    pollfd room{fd, POLLOUT, 0};
    const int ready =
        ::poll(&room, 1, static_cast<int>(std::chrono::milliseconds(kStalledReaderLimit).count()));
    if (ready == 0) {
      return Refused(OutputFault::WriteFailed, "its reader took nothing for " +
                                                   std::to_string(kStalledReaderLimit.count()) +
                                                   " seconds");
    }
    if (ready < 0 && errno != EINTR) return SystemRefused(errno);
  }
  return {};
}

}  // namespace

std::vector<InputFile> RunInputs(const std::string& rufFile) {
  std::vector<InputFile> inputs;
  if (!rufFile.empty()) inputs.push_back({rufFile, "the RUF file of this run"});
  inputs.push_back({SettingsFilePath(), "the settings file"});
  return inputs;
}

OutputProblem CheckOutputFile(const std::string& path, const std::vector<InputFile>& inputs,
                              OutputNaming naming) {
  Way way = Way::Replace;
  bool exists = false;
  if (OutputProblem problem = JudgePath(path, inputs, naming, way, exists); !problem.ok()) {
    return problem;
  }
  if (!exists) {
    const std::string folder = DirectoryOf(path);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return SystemRefused(errno);
    return {};
  }
  struct stat info {};
  if (way == Way::Replace && ::stat(path.c_str(), &info) == 0 &&
      (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    return Refused(OutputFault::WriteFailed, "it is marked read-only");
  }
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return SystemRefused(errno);
  return {};
}

int OpenOutputFile(const std::string& path, const std::vector<InputFile>& inputs,
                   OutputNaming naming, mode_t newMode, OutputProblem& problem) {
  Way way = Way::Replace;
  bool exists = false;
  problem = JudgePath(path, inputs, naming, way, exists);
  if (!problem.ok()) return -1;
  // Without blocking: a pipe nobody reads would hold the opening for ever.
  int flags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  if (way == Way::Replace) flags |= O_CREAT | O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags, newMode);
  if (fd < 0) {
    problem = errno == ELOOP ? Refused(OutputFault::NotPlainFile, "it became a symbolic link")
              : errno == ENXIO && way == Way::Into
                  ? Refused(OutputFault::WriteFailed, "it is a pipe that nobody reads")
                  : SystemRefused(errno);
    return -1;
  }
  problem = JudgeOpened(fd, inputs, naming, way);
  if (problem.ok()) return fd;
  ::close(fd);
  return -1;
}

OutputProblem WriteOutputFile(const std::string& path, std::string_view content,
                              const std::vector<InputFile>& inputs, OutputNaming naming) {
  Way way = Way::Replace;
  bool exists = false;
  if (OutputProblem problem = JudgePath(path, inputs, naming, way, exists); !problem.ok()) {
    return problem;
  }
  if (way == Way::Replace) {
    const int error = ReplaceFileContents(path, content);
    if (error == kFileMarkedReadOnly) return Refused(OutputFault::WriteFailed, "it is marked read-only");
    return error == 0 ? OutputProblem{} : SystemRefused(error);
  }
  OutputProblem problem;
  const int fd = OpenOutputFile(path, inputs, naming, 0, problem);
  if (fd < 0) return problem;
  problem = WriteInto(fd, content);
  if (::close(fd) != 0 && errno != EINTR && problem.ok()) problem = SystemRefused(errno);
  return problem;
}

}  // namespace flash
