#pragma once

#include <optional>
#include <string>
#include <vector>

namespace flash {

// A serial port of this machine, as udev knows it.
struct SerialPortInfo {
  std::string node;          // /dev/ttyUSB0, /dev/ttyACM0, /dev/ttyS0 ...
  std::string byId;          // its stable /dev/serial/by-id name; empty when it has none
  std::string maker;         // USB adapters: maker, model and serial number, where known
  std::string model;
  std::string serialNumber;
  std::string driver;        // the kernel driver behind it (ftdi_sio, cdc_acm, serial ...)
  std::optional<int> latencyTimerMs;  // USB serial adapters that have a latency timer
  bool usb = false;
};

// The serial ports present now, in name order: USB adapters and the ports of the
// machine itself, leaving out the standard ports that have no UART behind them.
std::vector<SerialPortInfo> ListSerialPorts();

// A serial device that a radio adapter shows up as.
struct SerialDeviceEntry {
  std::string path;         // what the port setting stores when it is chosen
  std::string description;  // what it is: maker and model, serial number, its other name
};

// The USB serial adapters present now, as udev knows them: each device node
// (/dev/ttyUSB0, /dev/ttyACM0) in name order, followed by its stable
// /dev/serial/by-id name when it has one, both described.
std::vector<SerialDeviceEntry> ListSerialDevices();

// The port behind a device path or a link to one (a /dev/serial/by-id name, also
// after the link itself has gone): its node, stable name and, for a USB adapter,
// maker, model and serial number. Nothing when udev knows no such port.
std::optional<SerialPortInfo> SerialPortOf(const std::string& path);

// "maker model, serial N" of a USB adapter; empty when nothing of it is known.
std::string AdapterDescription(const SerialPortInfo& port);

}  // namespace flash
