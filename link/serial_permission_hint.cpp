#include "link/serial_permission_hint.h"

#include <grp.h>
#include <sys/stat.h>

#include <vector>

namespace flash {
namespace {

constexpr char kUsualSerialGroup[] = "dialout";

std::string OwningGroup(const std::string& deviceName) {
  struct stat info {};
  if (::stat(deviceName.c_str(), &info) != 0) return kUsualSerialGroup;
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->gr_name == nullptr || found->gr_name[0] == '\0') {
    return kUsualSerialGroup;
  }
  return found->gr_name;
}

}  // namespace

std::string SerialPermissionHint(const std::string& deviceName) {
  const std::string group = OwningGroup(deviceName);
  return "You have no permission to use " + deviceName + ": add your user to the group \"" +
         group + "\" that owns it (sudo usermod -aG " + group +
         " $USER), then log out and log in again.";
}

}  // namespace flash
