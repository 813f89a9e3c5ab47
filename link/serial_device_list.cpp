#include "link/serial_device_list.h"

#include <libudev.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string_view>

namespace flash {
namespace {

constexpr std::string_view kByIdFolder = "/dev/serial/by-id/";

struct UdevDeleter {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

// The adapter's own string (from sysfs, there even where no udev daemon runs),
// else what udev's hardware database knows; empty when neither has one.
std::string Described(udev_device* usb, const char* attribute, udev_device* device,
                      const char* property) {
  if (const char* value = udev_device_get_sysattr_value(usb, attribute); value && *value) {
    return value;
  }
  const char* value = udev_device_get_property_value(device, property);
  return value ? value : "";
}

std::string StableName(udev_device* device) {
  for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link;
       link = udev_list_entry_get_next(link)) {
    const std::string_view name = udev_list_entry_get_name(link);
    if (name.starts_with(kByIdFolder)) return std::string(name);
  }
  // The same links as one property, blank-separated, where only that is recorded.
  const char* links = udev_device_get_property_value(device, "DEVLINKS");
  std::string_view rest = links ? links : "";
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    if (rest.substr(0, end).starts_with(kByIdFolder)) return std::string(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  return {};
}

void Append(std::string& text, const std::string& part) {
  if (part.empty()) return;
  if (!text.empty()) text += ", ";
  text += part;
}

// Compares runs of digits by their value, so that ttyUSB2 comes before ttyUSB10.
bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      while (i + 1 < a.size() && a[i] == '0' && digit(a[i + 1])) ++i;
      while (j + 1 < b.size() && b[j] == '0' && digit(b[j + 1])) ++j;
      std::size_t iEnd = i;
      std::size_t jEnd = j;
      while (iEnd < a.size() && digit(a[iEnd])) ++iEnd;
      while (jEnd < b.size() && digit(b[jEnd])) ++jEnd;
      const std::string_view da = a.substr(i, iEnd - i);
      const std::string_view db = b.substr(j, jEnd - j);
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = iEnd;
      j = jEnd;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The first ancestor that names a driver, passing over the serial core's own
// port and controller devices, which newer kernels put between a UART and its tty.
std::string DriverOf(udev_device* device) {
  for (udev_device* parent = udev_device_get_parent(device); parent;
       parent = udev_device_get_parent(parent)) {
    const char* subsystem = udev_device_get_subsystem(parent);
    if (subsystem != nullptr && std::string_view(subsystem) == "serial-base") continue;
    if (const char* driver = udev_device_get_driver(parent); driver && *driver) return driver;
  }
  return {};
}

std::optional<int> LatencyTimerOf(udev_device* device) {
  udev_device* port = udev_device_get_parent_with_subsystem_devtype(device, "usb-serial", nullptr);
  const char* value = port ? udev_device_get_sysattr_value(port, "latency_timer") : nullptr;
  if (value == nullptr) return std::nullopt;
  int ms = 0;
  for (const char* c = value; *c >= '0' && *c <= '9'; ++c) {
    ms = ms * 10 + (*c - '0');
    if (ms > 255) return std::nullopt;  // the timer is one byte
  }
  return ms;
}

}  // namespace

std::string AdapterDescription(const SerialPortInfo& port) {
  std::string text = port.maker;
  if (!port.model.empty()) text += (text.empty() ? "" : " ") + port.model;
  if (!port.serialNumber.empty()) Append(text, "serial " + port.serialNumber);
  return text;
}

std::vector<SerialPortInfo> ListSerialPorts() {
  std::vector<SerialPortInfo> ports;
  UdevPtr<udev> context(udev_new());
  if (!context) return {};
  UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
  if (!enumerate) return {};
  udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
  udev_enumerate_scan_devices(enumerate.get());
  for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumerate.get()); entry;
       entry = udev_list_entry_get_next(entry)) {
    const std::string_view syspath = udev_list_entry_get_name(entry);
    // Virtual terminals, pseudo-terminals and the console are no serial ports.
    if (syspath.find("/devices/virtual/") != std::string_view::npos) continue;
    UdevPtr<udev_device> device(
        udev_device_new_from_syspath(context.get(), std::string(syspath).c_str()));
    if (!device) continue;
    const char* node = udev_device_get_devnode(device.get());
    if (node == nullptr) continue;
    // The kernel makes ttyS0..ttyS31 whether or not a UART answers; type 0 says none does.
    if (const char* type = udev_device_get_sysattr_value(device.get(), "type");
        type && std::string_view(type) == "0") {
      continue;
    }
    SerialPortInfo port;
    port.node = node;
    port.byId = StableName(device.get());
    port.driver = DriverOf(device.get());
    port.latencyTimerMs = LatencyTimerOf(device.get());
    // Owned by device.
    if (udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(device.get(), "usb", "usb_device")) {
      port.usb = true;
      port.maker = Described(usb, "manufacturer", device.get(), "ID_VENDOR_FROM_DATABASE");
      port.model = Described(usb, "product", device.get(), "ID_MODEL_FROM_DATABASE");
      port.serialNumber = Described(usb, "serial", device.get(), "ID_SERIAL_SHORT");
    }
    ports.push_back(std::move(port));
  }
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return NaturalLess(a.node, b.node);
  });
  return ports;
}

std::optional<SerialPortInfo> SerialPortOf(const std::string& path) {
  // The links followed by name (udev's are "../../ttyUSB0"): the device node's path
  // is what udev lists, whatever folders lead to it.
  std::filesystem::path node = path;
  std::error_code error;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(node, error); ++hops) {
    const std::filesystem::path target = std::filesystem::read_symlink(node, error);
    if (error) break;
    node = (node.parent_path() / target).lexically_normal();
  }
  std::vector<SerialPortInfo> ports = ListSerialPorts();
  for (SerialPortInfo& port : ports) {
    if (port.node == node.string() || port.node == path || port.byId == path) {
      return std::move(port);
    }
  }
  return std::nullopt;
}

std::vector<SerialDeviceEntry> ListSerialDevices() {
  std::vector<SerialDeviceEntry> devices;
  for (const SerialPortInfo& port : ListSerialPorts()) {
    // The standard ports are offered as COMn already.
    if (!port.usb) continue;
    const std::string what = AdapterDescription(port);
    std::string nodeText = what;
    Append(nodeText, port.byId);
    devices.push_back({port.node, nodeText});
    if (port.byId.empty()) continue;
    std::string byIdText = what;
    Append(byIdText, port.node);
    devices.push_back({port.byId, byIdText});
  }
  return devices;
}

}  // namespace flash
