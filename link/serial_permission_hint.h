#pragma once

#include <string>

namespace flash {

// Advice for a serial device that exists but may not be opened for lack of
// permission. When a group other than root may read and write it (usually
// "dialout"): join that group and log in again. Otherwise no group helps: the
// device needs a udev rule or the administrator. One line of text, without a
// line ending.
std::string SerialPermissionHint(const std::string& deviceName);

}  // namespace flash
