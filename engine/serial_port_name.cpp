#include "engine/serial_port_name.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace flash {

std::string SerialDeviceName(std::string_view comPort) {
  if (!comPort.empty() && comPort.front() == '/') return std::string(comPort);
  if (comPort.size() > 3 && std::toupper(static_cast<unsigned char>(comPort[0])) == 'C' &&
      std::toupper(static_cast<unsigned char>(comPort[1])) == 'O' &&
      std::toupper(static_cast<unsigned char>(comPort[2])) == 'M') {
    std::string_view digits = comPort.substr(3);
    bool allDigits = digits.size() <= 4;
    for (char c : digits) allDigits = allDigits && std::isdigit(static_cast<unsigned char>(c));
    if (allDigits) {
      int number = 0;
      for (char c : digits) number = number * 10 + (c - '0');
      // COM1 is the first standard port, /dev/ttyS0.
      if (number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
    }
  }
  return "/dev/" + std::string(comPort);
}

std::string PortSettingFor(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('/') == std::string::npos) return name;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(name, error);
  return error ? name : absolute.lexically_normal().string();
}

}  // namespace flash
