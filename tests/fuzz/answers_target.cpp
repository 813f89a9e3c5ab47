#include <string>

#include "tests/fuzz/fuzz_targets.h"
#include "tests/fuzz/fuzzed_engine.h"
#include "tests/support/temp_dir.h"

namespace flash::fuzz {

int RunAnswers(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  static const std::string path =
      dir.Write("746.ruf", ":0300300002337A1E\r\n#E010203\r\n:020000021000EC\r\n:0300400002337A0E\r\n");
  FuzzedEngine fuzzed(path);
  test::FakeHost& host = fuzzed.host;
  LinkSettings& settings = fuzzed.settings;
  test::FakeSerialLink& serial = fuzzed.serial;
  test::FakeUdpLink& udp = fuzzed.udp;
  UpdateEngine& engine = fuzzed.engine;
  settings.serialActive = (size % 2) == 0;
  settings.ethernetActive = !settings.serialActive;
  host.personalityAnswer = size % 7 == 0 ? -1 : static_cast<int>(size % 7);
  engine.RunProgramCommand();

  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i < size && data[i] != 0xFF) continue;
    const std::string answer(reinterpret_cast<const char*>(data) + start, i - start);
    start = i + 1;
    if (settings.serialActive) {
      serial.input = answer;
      engine.OnSerialEvent(kEventFlagChar, 0);
    } else {
      udp.incoming.push_back(answer);
      engine.OnUdpReadable();
    }
    if (answer.size() == 1 && answer[0] == 'T') host.FireNextTimer();
  }
  engine.StopOperation();
  return 0;
}

}  // namespace flash::fuzz
