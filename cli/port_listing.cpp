#include "cli/port_listing.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/number_text.h"
#include "engine/serial_port_name.h"
#include "link/serial_permission_hint.h"

namespace flash {
namespace {

// The COMn name that the settings and --serial take for a standard port.
std::string ComNameOf(const std::string& node) {
  constexpr std::string_view kStandardPort = "/dev/ttyS";
  if (!node.starts_with(kStandardPort)) return {};
  const std::optional<std::int32_t> index = ReadLeadingDecimal(node.substr(kStandardPort.size()));
  if (!index || *index < 0 || *index >= 9999) return {};  // COM takes four digits at most
  const std::string name = "COM" + std::to_string(*index + 1);
  return SerialDeviceName(name) == node ? name : std::string();
}

// Why this user may not open the port for reading and writing; empty when it may.
// Asked without opening it: opening a serial port raises its modem lines.
std::string WhyNotOpenable(const std::string& node) {
  if (::access(node.c_str(), R_OK | W_OK) == 0) return {};
  const int error = errno;
  if (error == EACCES || error == EPERM) return SerialPermissionHint(node);
  return node + ": " + std::strerror(error);
}

void Add(std::string& text, const std::string& part) {
  if (part.empty()) return;
  text += text.empty() ? "" : "; ";
  text += part;
}

}  // namespace

std::string PortListing(const std::vector<SerialPortInfo>& ports) {
  std::string listing;
  for (const SerialPortInfo& port : ports) {
    std::string what = AdapterDescription(port);
    if (!port.driver.empty()) Add(what, "driver " + port.driver);
    if (port.latencyTimerMs) {
      Add(what, "latency timer " + std::to_string(*port.latencyTimerMs) + " ms");
    }
    const std::string why = WhyNotOpenable(port.node);
    if (!why.empty()) Add(what, "you cannot open it");
    const std::string com = ComNameOf(port.node);
    listing += port.node + (com.empty() ? "" : " (" + com + ")") + ": " + what + "\n";
    if (!port.byId.empty()) listing += "    also " + port.byId + "\n";
    if (!why.empty()) listing += "    " + why + "\n";
  }
  return listing;
}

}  // namespace flash
