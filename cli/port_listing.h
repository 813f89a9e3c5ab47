#pragma once

#include <string>
#include <vector>

#include "link/serial_device_list.h"

namespace flash {

// The ports command's text: each port on a line with its COMn name where it has
// one, what it is, its driver and latency timer, and whether this user may open
// it; its stable name and why it cannot be opened on indented lines below.
std::string PortListing(const std::vector<SerialPortInfo>& ports);

}  // namespace flash
