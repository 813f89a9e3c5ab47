#include <string>

#include "engine/text_format.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/fuzz/fuzzed_engine.h"
#include "tests/support/temp_dir.h"

namespace flash::fuzz {
namespace {

void RunOperation(const std::string& path, void (UpdateEngine::*command)(const OperationOptions&),
                  int personality) {
  FuzzedEngine fuzzed(path);
  test::FakeHost& host = fuzzed.host;
  test::FakeSerialLink& serial = fuzzed.serial;
  UpdateEngine& engine = fuzzed.engine;
  host.personalityAnswer = personality;
  (engine.*command)({});
  const std::string identification = personality > 0 ? "VER-1234 734\r" : "VER 1234 734\r";
  auto answer = [&](const std::string& text) {
    serial.input = text;
    engine.OnSerialEvent(kEventFlagChar, 0);
  };
  answer(identification);
  answer("READY\r");
  // Echo what the engine expects, now and then a wrong echo or a silence.
  for (int step = 0; step < 20000 && engine.operationRunning(); ++step) {
    if (step % 97 == 5) {
      host.FireNextTimer();
    } else if (step % 89 == 7) {
      answer(":ZZ\r");
    } else {
      // A frame's check byte stands just before its CR.
      const std::string& last = serial.writes.back();
      answer(Format(":%02X\r", last.size() >= 2 ? static_cast<std::uint8_t>(last[last.size() - 2]) : 0));
    }
  }
  engine.StopOperation();
}

}  // namespace

int RunRufFile(const std::uint8_t* data, std::size_t size) {
  static test::TempDir dir;
  const std::string path =
      dir.Write("734.ruf", std::string(reinterpret_cast<const char*>(data), size));
  RunOperation(path, &UpdateEngine::RunProgramCommand, 0);
  RunOperation(path, &UpdateEngine::RunVerifyCommand, 2);
  RunOperation(path, &UpdateEngine::RunTestingCommand, 0);
  SurveyRufFile(path);
  return 0;
}

}  // namespace flash::fuzz
