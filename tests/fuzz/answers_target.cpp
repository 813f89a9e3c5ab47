#include <string>

#include "link/comms_trace.h"
#include "operation/update_engine.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_links.h"
#include "tests/support/temp_dir.h"

namespace flash::fuzz {

int RunAnswers(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  static const std::string path =
      dir.Write("746.ruf", ":0300300002337A1E\r\n#E010203\r\n:020000021000EC\r\n:0300400002337A0E\r\n");
  test::FakeHost host;
  LinkSettings settings;
  settings.serialActive = (size % 2) == 0;
  settings.ethernetActive = !settings.serialActive;
  test::FakeSerialLink serial;
  test::FakeUdpLink udp;
  CommsTrace trace{host};
  trace.SetPath("/dev/null");
  UpdateEngine engine{host, settings, serial, udp, trace};
  host.Attach(&engine);
  engine.state().commsTraceEnabled = 1;
  host.personalityAnswer = size % 7 == 0 ? -1 : static_cast<int>(size % 7);
  host.chosenFile = path;
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
