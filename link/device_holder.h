#pragma once

#include <optional>
#include <string>

namespace flash {

// A process that has a device open.
struct DeviceHolder {
  int pid = 0;
  std::string name;  // its command name, as ps shows it
};

// The first process found, in order of process id, that has deviceName open: any
// descriptor of it that leads to the same device counts, whatever name it was opened
// by (a link under /dev/serial/by-id, a second device node). Nothing when none is
// found: the descriptors of another user's processes are hidden from all but root.
// The search looks at /proc only and gives up after a second (a few milliseconds
// on a usual machine).
std::optional<DeviceHolder> FindDeviceHolder(const std::string& deviceName);

}  // namespace flash
