#pragma once

#include <string>

namespace flash {

// Advice for a serial device that exists but may not be opened for lack of
// permission: join the group that owns it (usually "dialout") and log in again.
// One line of text, without a line ending.
std::string SerialPermissionHint(const std::string& deviceName);

}  // namespace flash
