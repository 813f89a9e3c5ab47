#include "link/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "engine/number_text.h"
#include "link/profile_text.h"
#include "link/replace_file.h"
#include "link/small_text_file.h"

namespace flash {
namespace {

constexpr char kSerialSection[] = "SERIAL INTERFACE";
constexpr char kEthernetSection[] = "ETHERNET INTERFACE";
constexpr char kActiveSection[] = "ACTIVE INTERFACE";
constexpr char kComPortKey[] = "COMPORT";
constexpr char kStopOnErrorsKey[] = "STOP ON ERRORS";
constexpr char kAddressKey[] = "IP ADDRESS";
constexpr char kPortKey[] = "UDP PORT";
constexpr char kPasscodeKey[] = "PASSCODE";
constexpr char kEthernetKey[] = "ETHERNET";
constexpr char kSerialKey[] = "SERIAL";

// The file's profile; an empty one when the file does not exist, nothing (and
// why) when the file is refused by the rule for what the tools read (a pipe, a
// device, too large, control characters): a save must then not replace it.
std::optional<ProfileText> ReadProfile(const std::string& path, std::string* reason = nullptr) {
  SmallTextFile file = ReadSmallTextFile(path);
  if (file.result == SmallTextFile::Result::Missing) return ProfileText();
  if (file.result == SmallTextFile::Result::Refused) {
    if (reason != nullptr) *reason = std::move(file.reason);
    return std::nullopt;
  }
  // Kept, so that a save writes the file's own byte-order mark back.
  return ProfileText(file.byteOrderMark ? "\xEF\xBB\xBF" + file.text : file.text);
}

std::string ReadText(const ProfileText& profile, std::string_view section, std::string_view key,
                     std::string_view fallback) {
  std::string value = profile.Get(section, key).value_or(std::string(fallback));
  if (value.size() > kSettingsValueLimit) value.resize(kSettingsValueLimit);
  return value;
}

std::int32_t ReadNumber(const ProfileText& profile, std::string_view section,
                        std::string_view key, std::string_view fallback) {
  return ReadDecimal(ReadText(profile, section, key, fallback));
}

}  // namespace

std::string SettingsFilePath() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return kSettingsFileName;
    buffer.resize(buffer.size() * 2);
  }
  std::string path(buffer.data());
  if (path.empty() || path.back() != '/') path += '/';
  return path + kSettingsFileName;
}

std::int32_t ReadDecimal(std::string_view text) { return ReadLeadingDecimal(text).value_or(0); }

namespace {

// The largest number a port or a passcode can be: both go out as two bytes.
constexpr std::int32_t kLargestTwoByteValue = 65535;

// A value as a message quotes it: whole when short, otherwise its start and length.
std::string Shown(const std::string& value) {
  constexpr std::size_t kShownLimit = 40;
  if (value.size() <= kShownLimit) return value;
  return value.substr(0, kShownLimit) + "... (" + std::to_string(value.size()) + " characters)";
}

}  // namespace

SettingsLoad LoadSettings(LinkSettings& settings, std::int32_t& ignoreErrors,
                          const std::string& path) {
  SettingsLoad load;
  const std::string name = path.substr(path.find_last_of('/') + 1);
  std::string unreadable;
  std::optional<ProfileText> read = ReadProfile(path, &unreadable);
  if (!read) {
    load.problems.push_back(name + ": " + unreadable + "; the default settings are used.");
    read.emplace();
  }
  const ProfileText& profile = *read;
  // A value no link can use gets the default, and the user is told which and why.
  const auto replace = [&](const char* section, const char* key, const std::string& value,
                           const std::string& why, const std::string& fallback) {
    load.problems.push_back(name + ": \"" + key + "\" is " + value + ", " + why + "; " +
                            fallback + " is used.");
    load.replaced.push_back({section, key, fallback});
  };
  const auto twoByteNumber = [&](const char* key, std::int32_t fallback, const char* what) {
    const std::optional<std::string> text = profile.Get(kEthernetSection, key);
    if (!text) return fallback;
    // Read as the radio tools always read it (leading digits); a value without any
    // is a typo, not a 0.
    const std::optional<std::int32_t> value = ReadLeadingDecimal(*text);
    if (value && *value >= 0 && *value <= kLargestTwoByteValue) return *value;
    replace(kEthernetSection, key, text->empty() ? "empty" : Shown(*text),
            std::string("not ") + what + " from 0 to " + std::to_string(kLargestTwoByteValue),
            std::to_string(fallback));
    return fallback;
  };

  const std::string defaultPort = "COM1";
  const std::optional<std::string> port = profile.Get(kSerialSection, kComPortKey);
  settings.comPort = port.value_or(defaultPort);
  if (port && port->empty()) {
    // Opening "/dev/" would only fail later with a puzzling name.
    replace(kSerialSection, kComPortKey, "empty", "not a serial port", defaultPort);
    settings.comPort = defaultPort;
  } else if (port && port->size() > kSettingsValueLimit) {
    replace(kSerialSection, kComPortKey, std::to_string(port->size()) + " characters long",
            "longer than any serial port's name can be (" + std::to_string(kSettingsValueLimit) +
                ")",
            defaultPort);
    settings.comPort = defaultPort;
  }
  // Without the key the radio's answers are checked: a first start, or a lost file,
  // must not write a radio unchecked. A value that is there keeps its meaning.
  ignoreErrors = ReadNumber(profile, kSerialSection, kStopOnErrorsKey, "0");
  settings.radioAddress = ReadText(profile, kEthernetSection, kAddressKey, "192.168.1.123");
  settings.radioPort = twoByteNumber(kPortKey, kDefaultRadioPort, "a port");
  settings.radioPasscode = twoByteNumber(kPasscodeKey, kDefaultPasscode, "a passcode");
  settings.ethernetActive = ReadNumber(profile, kActiveSection, kEthernetKey, "0") != 0;
  settings.serialActive = ReadNumber(profile, kActiveSection, kSerialKey, "1") != 0;

  if (!settings.serialActive && !settings.ethernetActive) settings.serialActive = true;
  if (settings.serialActive && settings.ethernetActive) settings.ethernetActive = false;
  return load;
}

SettingsSave SaveSettings(const LinkSettings& settings, std::int32_t ignoreErrors,
                          const std::string& path, const SettingsLoad& loaded) {
  SettingsSave result;
  std::optional<ProfileText> existing = ReadProfile(path, &result.reason);
  if (!existing) return result;
  ProfileText& profile = *existing;
  // A refused value stays as the user wrote it until the user changes the setting.
  const auto set = [&](const char* section, const char* key, const std::string& value) {
    for (const SettingsLoad::Replaced& r : loaded.replaced) {
      if (r.section == section && r.key == key && r.value == value) return;
    }
    profile.Set(section, key, value);
  };
  set(kSerialSection, kComPortKey, settings.comPort);
  set(kSerialSection, kStopOnErrorsKey, std::to_string(ignoreErrors));
  set(kEthernetSection, kAddressKey, settings.radioAddress);
  set(kEthernetSection, kPortKey, std::to_string(settings.radioPort));
  set(kEthernetSection, kPasscodeKey, std::to_string(settings.radioPasscode));
  set(kActiveSection, kEthernetKey, settings.ethernetActive ? "1" : "0");
  set(kActiveSection, kSerialKey, settings.serialActive ? "1" : "0");
  const int error = ReplaceFileContents(path, profile.Text());
  result.saved = error == 0;
  if (error == kFileMarkedReadOnly) {
    result.reason = "it is read-only";
  } else if (error != 0) {
    result.reason = std::strerror(error);
  }
  return result;
}

}  // namespace flash
