#pragma once

#include <string>
#include <vector>

namespace flash {

// A serial device that a radio adapter shows up as.
struct SerialDeviceEntry {
  std::string path;         // what the port setting stores when it is chosen
  std::string description;  // what it is: maker and model, serial number, its other name
};

// The USB serial adapters present now, as udev knows them: each device node
// (/dev/ttyUSB0, /dev/ttyACM0) in name order, followed by its stable
// /dev/serial/by-id name when it has one, both described.
std::vector<SerialDeviceEntry> ListSerialDevices();

}  // namespace flash
