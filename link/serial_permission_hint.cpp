#include "link/serial_permission_hint.h"

#include <grp.h>
#include <sys/stat.h>

#include <vector>

namespace flash {
namespace {

// The group that may read and write the device, when joining it would help: not
// root (whose members are administrators already) and with both permissions.
std::string GroupThatMayUse(const std::string& deviceName) {
  struct stat info {};
  if (::stat(deviceName.c_str(), &info) != 0) return {};
  if (info.st_gid == 0 || (info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->gr_name == nullptr) {
    return {};
  }
  return found->gr_name;
}

}  // namespace

std::string SerialPermissionHint(const std::string& deviceName) {
  const std::string group = GroupThatMayUse(deviceName);
  if (group.empty()) {
    return "You have no permission to use " + deviceName +
           ", and joining its group would not help: it needs a udev rule that lets a group "
           "such as \"dialout\" read and write it, or the administrator.";
  }
  return "You have no permission to use " + deviceName + ": add your user to the group \"" +
         group + "\" that owns it (sudo usermod -aG " + group +
         " $USER), then log out and log in again.";
}

}  // namespace flash
