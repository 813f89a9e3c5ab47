#include <tuple>

#include "link/settings_file.h"
#include "tests/support/engine_rig.h"

// The fuzz targets, replayed by the regression test; each libFuzzer binary builds this
// file with FLASH_FUZZ_TARGET naming its entry point.
namespace flash::fuzz {
namespace {

// The file run in one mode against a radio that answers as the engine expects,
// but now and then with a wrong echo or with silence.
void RunOperation(const std::string& path, OperationMode command,
                  int personality) {
  test::EngineRig fuzzed;
  fuzzed.trace.SetPath("/dev/null");  // a device, which the trace refuses: nothing is written
  fuzzed.Healthy(personality > 0 ? "VER-1234 734\r" : "VER 1234 734\r");
  fuzzed.host.personalityAnswer = personality;
  fuzzed.host.chosenFile = path;
  fuzzed.engine.Run(command);
  // A file refused by its check sends nothing at all.
  if (SurveyRufFile(path).refused() && !fuzzed.serial.writes.empty()) __builtin_trap();
  for (int step = 0; step < 20000 && fuzzed.engine.operationRunning(); ++step) {
    if (fuzzed.serial.pending.empty() || step % 97 == 5) {
      fuzzed.host.FireNextTimer();
      continue;
    }
    fuzzed.Answer(step % 89 == 7 ? ":ZZ\r" : fuzzed.serial.pending.front());
    fuzzed.serial.pending.pop_front();
  }
  fuzzed.engine.StopOperation();
}

}  // namespace

// The bytes as a RUF file, run as Program, Verify and Test operations.
int RunRufFile(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  const std::string path = dir.Write("734.ruf", {reinterpret_cast<const char*>(data), size});
  RunOperation(path, OperationMode::Program, 0);
  RunOperation(path, OperationMode::Verify, 2);
  RunOperation(path, OperationMode::Test, 0);
  return 0;
}

// The bytes between 0xFF bytes are the answers; a lone 'T' lets the time run out.
int RunAnswers(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  static const std::string path = dir.Write(
      "746.ruf", ":0300300002337A1E\r\n#E010203\r\n:020000021000EC\r\n:0300400002337A0E\r\n");
  test::EngineRig fuzzed;
  fuzzed.trace.SetPath("/dev/null");
  fuzzed.settings.serialActive = size % 2 == 0;
  fuzzed.settings.ethernetActive = !fuzzed.settings.serialActive;
  fuzzed.host.personalityAnswer = size % 7 == 0 ? -1 : static_cast<int>(size % 7);
  fuzzed.host.chosenFile = path;
  fuzzed.engine.Run(OperationMode::Program);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != 0xFF) continue;
    const std::string answer(reinterpret_cast<const char*>(data) + start, i - start);
    start = i + 1;
    fuzzed.Answer(answer);
    if (answer == "T") fuzzed.host.FireNextTimer();
  }
  fuzzed.engine.StopOperation();
  return 0;
}

int RunSettingsFile(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  const std::string path = dir.Write("update.ini", {reinterpret_cast<const char*>(data), size});
  const auto load = [&path] {
    std::pair<LinkSettings, std::int32_t> loaded;  // the settings and the error switch
    static_cast<void>(LoadSettings(loaded.first, loaded.second, path));  // crashes are sought, not messages
    return loaded;
  };
  const auto fields = [](const std::pair<LinkSettings, std::int32_t>& s) {
    return std::tie(s.first.comPort, s.first.radioAddress, s.first.radioPort, s.first.radioPasscode,
                    s.first.serialActive, s.second);
  };
  // One link is active whatever the file says. Saving may clean a value (line breaks
  // never reach the file), but what is read back then saves and reads back the same.
  const auto read = load();
  if (read.first.serialActive == read.first.ethernetActive) __builtin_trap();
  if (!SaveSettings(read.first, read.second, path)) return 0;
  const auto first = load();
  if (!SaveSettings(first.first, first.second, path)) return 0;
  if (fields(load()) != fields(first)) __builtin_trap();
  return 0;
}

}  // namespace flash::fuzz

#ifdef FLASH_FUZZ_TARGET
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return flash::fuzz::FLASH_FUZZ_TARGET(data, size);
}
#endif
