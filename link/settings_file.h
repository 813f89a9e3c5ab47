#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/link_settings.h"

namespace flash {

inline constexpr char kSettingsFileName[] = "update.ini";
// Longer than any path Linux opens (PATH_MAX is 4096 bytes with its zero), so a
// /dev/serial/by-id name is read whole.
inline constexpr std::size_t kSettingsValueLimit = 4095;

// update.ini in the current working directory: the directory, one "/", the name
// (no second "/" when the directory is the root).
std::string SettingsFilePath();

// What a load found wrong with the file: one sentence for each fault, naming the
// file, the key and the value, for the program to show; and each value that was
// replaced by its default. A save leaves such a key's line as the user wrote it
// while the setting still holds that default: a typo is told at every start
// until the user changes the setting, never turned silently into another value.
struct SettingsLoad {
  struct Replaced {
    std::string section;
    std::string key;
    std::string value;  // the default put in its place, as a save would write it
  };
  std::vector<std::string> problems;
  std::vector<Replaced> replaced;
};

// Reads the seven keys into settings and ignoreErrors; a missing file, section or
// key gives its default (for ignoreErrors 0: the radio's answers are checked). Afterwards exactly one interface flag is true (serial
// wins a tie). Never fails: the file may hold any bytes at all. A file the reading
// refuses, a "UDP PORT" or "PASSCODE" outside 0..65535 (a port number; the two
// bytes that open each datagram) and an empty or overlong "COMPORT" give the
// default and a problem each.
[[nodiscard]] SettingsLoad LoadSettings(LinkSettings& settings, std::int32_t& ignoreErrors,
                                        const std::string& path);

// Whether a save wrote the file, and why not.
struct SettingsSave {
  bool saved = false;
  std::string reason;  // "it is read-only", or what the system said
  explicit operator bool() const { return saved; }
};

// Writes all seven keys, keeping every other line of the file and its owner,
// group and mode; a key whose value loaded replaced, and which still holds that
// replacement, keeps its line. When the file cannot be written (a read-only file,
// a folder and a file the user may not write, a full disk) the old file is left
// as it was.
SettingsSave SaveSettings(const LinkSettings& settings, std::int32_t ignoreErrors,
                          const std::string& path, const SettingsLoad& loaded = {});

// A number read as C's atoi does: leading white space, an optional sign, the
// digits that follow; 0 without digits. Out-of-range values saturate instead of
// being undefined.
std::int32_t ReadDecimal(std::string_view text);

}  // namespace flash
