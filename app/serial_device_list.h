#pragma once

#include <string>
#include <vector>

namespace flash {

// The serial devices present on this machine that a radio adapter shows up as:
// USB serial converters (ttyUSB*), modem-class adapters (ttyACM*) and their
// stable names under serial/by-id. devRoot is "/dev" except in tests.
std::vector<std::string> ListSerialDevices(const std::string& devRoot = "/dev");

}  // namespace flash
