#include "link/device_holder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

namespace flash {
namespace {

// A machine with thousands of processes, or one with a million descriptors, must not
// hold up the message that the port is busy: the search ends here and names nobody.
constexpr auto kSearchTimeLimit = std::chrono::seconds{1};
constexpr std::size_t kMaxDescriptorsLookedAt = 200000;

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (std::isdigit(static_cast<unsigned char>(*text)) == 0) return false;
  }
  return true;
}

// A character device is the same device under any node name; anything else (a file
// standing in for a device) is the same file.
bool SameDevice(const struct stat& a, const struct stat& b) {
  if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
  return !S_ISCHR(a.st_mode) && !S_ISCHR(b.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::vector<int> ProcessIds() {
  std::vector<int> pids;
  const Dir proc(::opendir("/proc"));
  if (!proc) return pids;
  while (const dirent* entry = ::readdir(proc.get())) {
    if (AllDigits(entry->d_name)) {
      pids.push_back(static_cast<int>(std::strtol(entry->d_name, nullptr, 10)));
    }
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::string CommandName(int pid) {
  const std::string path = "/proc/" + std::to_string(pid) + "/comm";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  char buffer[64];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  std::string name(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
  return name;
}

}  // namespace

std::optional<DeviceHolder> FindDeviceHolder(const std::string& deviceName) {
  struct stat target {};
  if (::stat(deviceName.c_str(), &target) != 0) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + kSearchTimeLimit;
  std::size_t lookedAt = 0;
  for (const int pid : ProcessIds()) {
    if (std::chrono::steady_clock::now() >= deadline) break;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    // Another user's process, or one that ended meanwhile: passed over.
    const Dir fds(::opendir(folder.c_str()));
    if (!fds) continue;
    while (const dirent* entry = ::readdir(fds.get())) {
      if (!AllDigits(entry->d_name)) continue;
      if (++lookedAt > kMaxDescriptorsLookedAt) return std::nullopt;
      if (lookedAt % 256 == 0 && std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      // stat follows the descriptor's link to what it has open.
      struct stat opened {};
      if (::fstatat(::dirfd(fds.get()), entry->d_name, &opened, 0) != 0) continue;
      if (SameDevice(opened, target)) return DeviceHolder{pid, CommandName(pid)};
    }
  }
  return std::nullopt;
}

}  // namespace flash
