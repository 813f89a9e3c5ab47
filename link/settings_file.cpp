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

// Larger than any settings file: something else was put in its place.
constexpr off_t kLargestSettingsFile = 16 << 20;  // bytes

// The file's profile; an empty one when the file does not exist, nothing (and
// why) when it exists but cannot be read or is no regular file of a sensible size
// (a save must then not replace what is there).
std::optional<ProfileText> ReadProfile(const std::string& path, std::string* reason = nullptr) {
  const auto fail = [reason](std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    return std::nullopt;
  };
  // Non-blocking, so that a FIFO in the file's place cannot hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return ProfileText();
    return fail(std::strerror(errno));
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLargestSettingsFile) {
    ::close(fd);
    return fail("it is not a settings file");
  }
  std::string content;
  char chunk[4096];
  while (content.size() <= static_cast<std::size_t>(kLargestSettingsFile)) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return fail(std::strerror(error));
    }
    if (got == 0) break;
    content.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return ProfileText(content);
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

void LoadSettings(LinkSettings& settings, std::int32_t& ignoreErrors, const std::string& path) {
  const ProfileText profile = ReadProfile(path).value_or(ProfileText());
  const std::string defaultPasscode = std::to_string(kDefaultPasscode);
  const std::string defaultPort = std::to_string(kDefaultRadioPort);

  settings.comPort = ReadText(profile, kSerialSection, kComPortKey, "COM1");
  // Without the key the radio's answers are checked: a first start, or a lost file,
  // must not write a radio unchecked. A value that is there keeps its meaning.
  ignoreErrors = ReadNumber(profile, kSerialSection, kStopOnErrorsKey, "0");
  settings.radioAddress = ReadText(profile, kEthernetSection, kAddressKey, "192.168.1.123");
  settings.radioPort = ReadNumber(profile, kEthernetSection, kPortKey, defaultPort);
  settings.radioPasscode = ReadNumber(profile, kEthernetSection, kPasscodeKey, defaultPasscode);
  settings.ethernetActive = ReadNumber(profile, kActiveSection, kEthernetKey, "0") != 0;
  settings.serialActive = ReadNumber(profile, kActiveSection, kSerialKey, "1") != 0;

  if (!settings.serialActive && !settings.ethernetActive) settings.serialActive = true;
  if (settings.serialActive && settings.ethernetActive) settings.ethernetActive = false;
}

SettingsSave SaveSettings(const LinkSettings& settings, std::int32_t ignoreErrors,
                          const std::string& path) {
  SettingsSave result;
  std::optional<ProfileText> existing = ReadProfile(path, &result.reason);
  if (!existing) return result;
  ProfileText& profile = *existing;
  profile.Set(kSerialSection, kComPortKey, settings.comPort);
  profile.Set(kSerialSection, kStopOnErrorsKey, std::to_string(ignoreErrors));
  profile.Set(kEthernetSection, kAddressKey, settings.radioAddress);
  profile.Set(kEthernetSection, kPortKey, std::to_string(settings.radioPort));
  profile.Set(kEthernetSection, kPasscodeKey, std::to_string(settings.radioPasscode));
  profile.Set(kActiveSection, kEthernetKey, settings.ethernetActive ? "1" : "0");
  profile.Set(kActiveSection, kSerialKey, settings.serialActive ? "1" : "0");
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
