#pragma once

#include <cstdint>
#include <string>

namespace flash {

// Built-in UDP passcode used when update.ini gives none.
inline constexpr std::int32_t kDefaultPasscode = 7;
inline constexpr std::int32_t kDefaultRadioPort = 49152;

// How the program reaches the radio. Exactly one of the two flags is true after a load.
struct LinkSettings {
  std::string comPort = "COM1";
  std::string radioAddress = "192.168.1.123";
  std::int32_t radioPort = kDefaultRadioPort;
  std::int32_t radioPasscode = kDefaultPasscode;
  bool serialActive = true;
  bool ethernetActive = false;
};

}  // namespace flash
