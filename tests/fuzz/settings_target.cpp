#include <string>

#include "link/settings_file.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace flash::fuzz {

int RunSettingsFile(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  const std::string path =
      dir.Write("update.ini", std::string(reinterpret_cast<const char*>(data), size));
  LinkSettings settings;
  std::int32_t ignoreErrors = 0;
  LoadSettings(settings, ignoreErrors, path);
  // The invariant holds whatever the file says.
  if (settings.serialActive == settings.ethernetActive) __builtin_trap();
  // Saving may clean a value (line breaks never reach the file), but once saved,
  // what is read back saves and reads back the same.
  if (!SaveSettings(settings, ignoreErrors, path)) return 0;
  LinkSettings first;
  std::int32_t firstIgnore = 0;
  LoadSettings(first, firstIgnore, path);
  if (!SaveSettings(first, firstIgnore, path)) return 0;
  LinkSettings second;
  std::int32_t secondIgnore = 0;
  LoadSettings(second, secondIgnore, path);
  if (second.comPort != first.comPort || second.radioAddress != first.radioAddress ||
      second.radioPort != first.radioPort || second.radioPasscode != first.radioPasscode ||
      secondIgnore != firstIgnore || second.serialActive != first.serialActive) {
    __builtin_trap();
  }
  return 0;
}

}  // namespace flash::fuzz
