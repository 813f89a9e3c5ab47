#pragma once

#include <string>
#include <string_view>

namespace flash {

// The device behind a comPort setting: "COMn" is the n-th standard port,
// /dev/ttyS(n-1); a value that begins with "/" is a device path used as it
// stands; any other name is looked up under /dev.
std::string SerialDeviceName(std::string_view comPort);

// A port as a person names it, ready to store: a relative path (one that holds a
// "/" but does not begin with one) is made absolute, since any other name would
// be looked up under /dev; every other name stays as it is.
std::string PortSettingFor(const std::string& name);

}  // namespace flash
