#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/link_settings.h"

namespace flash {

inline constexpr char kSettingsFileName[] = "update.ini";
// Longer than any path Linux opens (PATH_MAX is 4096 bytes with its zero), so a
// /dev/serial/by-id name is read whole.
inline constexpr std::size_t kSettingsValueLimit = 4095;

// update.ini in the current working directory: the directory, one "/", the name
// (no second "/" when the directory is the root).
std::string SettingsFilePath();

// Reads the seven keys into settings and ignoreErrors; a missing file, section or
// key gives its default (for ignoreErrors 0: the radio's answers are checked). Afterwards exactly one interface flag is true (serial
// wins a tie). Never fails: the file may hold any bytes at all.
void LoadSettings(LinkSettings& settings, std::int32_t& ignoreErrors, const std::string& path);

// Whether a save wrote the file, and why not.
struct SettingsSave {
  bool saved = false;
  std::string reason;  // "it is read-only", or what the system said
  explicit operator bool() const { return saved; }
};

// Writes all seven keys, keeping every other line of the file and its owner,
// group and mode. When the file cannot be written (a read-only file, a folder and
// a file the user may not write, a full disk) the old file is left as it was.
SettingsSave SaveSettings(const LinkSettings& settings, std::int32_t ignoreErrors,
                          const std::string& path);

// A number read as C's atoi does: leading white space, an optional sign, the
// digits that follow; 0 without digits. Out-of-range values saturate instead of
// being undefined.
std::int32_t ReadDecimal(std::string_view text);

}  // namespace flash
