#pragma once

#include <string>
#include <string_view>

namespace flash {

// The device behind a comPort setting: "COMn" is the n-th standard port,
// /dev/ttyS(n-1); a value that begins with "/" is a device path used as it
// stands; any other name is looked up under /dev.
std::string SerialDeviceName(std::string_view comPort);

}  // namespace flash
