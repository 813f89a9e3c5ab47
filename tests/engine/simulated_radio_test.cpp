// A whole operation against the simulated radio in process: the radio's memory at the end
// is the check. What is sent is the file as it was checked, whatever happens on disk.
#include "sim/image_comparison.h"
#include "sim/ruf_writer.h"
#include "sim/simulated_radio.h"
#include "tests/support/engine_rig.h"

namespace flash::test {
namespace {

TEST(EngineWithASimulatedRadio, ProgramsAndVerifiesAnImageAsItsFileWasChecked) {
  EngineRig rig;
  sim::SimulatedRadio radio;
  radio.config().model = 746;
  rig.serial.radio = [&radio](const std::string& request) {
    return radio.HandleRequestAnswers(reinterpret_cast<const std::uint8_t*>(request.data()),
                                      request.size());
  };
  sim::MemoryImage image;  // across a 64 KiB segment
  for (std::uint32_t i = 0; i < 600; ++i) image.Write(0x1FFF0 + i, std::uint8_t(i * 7));
  sim::RufWriteOptions options;
  options.directives = {"#E010203", "#G01020304", "#>MODE 1", "#UNLOCKBOOT"};
  const std::string path = rig.dir.File("746.ruf");
  ASSERT_TRUE(sim::WriteRufFile(path, image, options));
  rig.dir.Write("746.ruf", "\xEF\xBB\xBF" + TempDir::Read(path));  // a byte-order mark
  rig.host.chosenFile = path;
  rig.engine.Run(OperationMode::Program);
  rig.RunToTheEnd(12);
  rig.dir.Write("746.ruf", ":00000001FF\r\n");  // rewritten by a build meanwhile
  rig.RunToTheEnd();
  EXPECT_EQ(sim::CompareImages(image, radio.memory()).Describe(), "images are equal");
  ASSERT_TRUE(sim::WriteRufFile(path, image, options));
  radio.memory().Write(0x20000, 0x00);
  rig.engine.Run(OperationMode::Verify);
  rig.RunToTheEnd();
  // Bytes a front end read once (a station's) are what is sent, not what is on disk now.
  const auto checked = std::make_shared<const std::string>(TempDir::Read(path));
  rig.dir.Write("746.ruf", ":00000001FF\r\n");
  rig.engine.Run(OperationMode::Program, {.fileBytes = checked});
  rig.RunToTheEnd();
  EXPECT_EQ(sim::CompareImages(image, radio.memory()).Describe(), "images are equal");
  EXPECT_EQ(rig.host.dialogs, std::vector({DialogId::ProgramSuccess, DialogId::VerifyFailure,
                                           DialogId::ProgramSuccess}));
}

}  // namespace
}  // namespace flash::test

namespace flash::test {
namespace {

// Program then Verify: one command, one trace, the Verify reading what was programmed.
TEST(EngineWithASimulatedRadio, VerifiesAfterAProgramThatSucceededInTheSameTrace) {
  sim::MemoryImage image;
  for (std::uint32_t i = 0; i < 100; ++i) image.Write(0x100 + i, std::uint8_t(i * 3));
  constexpr auto kBoth = OperationMode::ProgramThenVerify;
  for (const bool corrupted : {false, true}) {
    SCOPED_TRACE(corrupted ? "memory corrupted after writing" : "memory holds the file");
    EngineRig rig;
    sim::SimulatedRadio radio;
    radio.config().model = 746;
    rig.serial.radio = [&](const std::string& request) {
      // A cell that does not keep what was written shows only when read back.
      if (corrupted && request[0] == 'V') radio.memory().Write(0x140, 0xEE);
      return radio.HandleRequestAnswers(reinterpret_cast<const std::uint8_t*>(request.data()),
                                        request.size());
    };
    const std::string path = rig.dir.File("746.ruf");
    ASSERT_TRUE(sim::WriteRufFile(path, image, {}));
    rig.host.chosenFile = path;
    rig.engine.Run(kBoth);
    rig.host.chosenFile.reset();  // the Verify asks for no file
    rig.dir.Write("746.ruf", ":00000001FF\r\n");  // nor reads it again
    rig.RunToTheEnd();
    EXPECT_EQ(rig.host.outcomes,
              std::vector({OperationOutcome::ProgramSucceeded,
                           corrupted ? OperationOutcome::VerifyFailed : OperationOutcome::VerifySucceeded}));
    EXPECT_EQ(rig.host.dialogs.size(), 2u);
    EXPECT_EQ(rig.host.output.find("the radio was written but does not hold the file") !=
                  std::string::npos, corrupted) << rig.host.output;
    const std::string trace = rig.Trace();
    const std::size_t between = trace.find("[[VERIFY AFTER PROGRAM ");
    ASSERT_NE(between, std::string::npos) << trace;
    EXPECT_TRUE(trace.starts_with("Log File Begin")) << "one trace, begun once";
    EXPECT_EQ(trace.find("Log File Begin", 1), std::string::npos);
    EXPECT_NE(trace.find(" R< 42 "), std::string::npos);
    EXPECT_GT(trace.find(" R< 56 "), between) << "the Verify's frames follow the line between";
    EXPECT_LT(trace.rfind(" R< 42 "), between);
  }

  // An extended-memory radio: the user chooses the personality once, for both.
  EngineRig banwick;
  banwick.Healthy("VER-1234 734\r");
  int asked = 0;
  banwick.host.personalityAnswer = 2;
  banwick.host.duringPersonalityDialog = [&asked] { ++asked; };
  banwick.Start("734.ruf", ":020000021000EC\r\n#E000000\r\n", {}, kBoth);
  banwick.RunToTheEnd();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(banwick.host.outcomes, std::vector({OperationOutcome::ProgramSucceeded,
                                                OperationOutcome::VerifySucceeded}));

  // A Program that failed is reported as it is, with no Verify after it.
  EngineRig failing;
  failing.Healthy("VER 1234 746\r", 4);
  failing.Start("746.ruf", ":0300300002337A1E\r\n", {}, kBoth);
  failing.RunToTheEnd();
  EXPECT_EQ(failing.host.outcomes, std::vector({OperationOutcome::ProgramFailed}));
  EXPECT_EQ(failing.Trace().find("VERIFY AFTER"), std::string::npos);

  // Stopped between the two: the Verify is not begun and the trace is closed.
  EngineRig rig;
  rig.Healthy("VER 1234 746\r");
  rig.Start("746.ruf", ":0300300002337A1E\r\n", {}, kBoth);
  while (rig.host.outcomes.empty() && !rig.serial.pending.empty()) {
    rig.Answer(rig.serial.pending.front());
    rig.serial.pending.pop_front();
  }
  rig.engine.StopOperation("stopped by the user");
  EXPECT_FALSE(rig.engine.operationRunning());
  EXPECT_FALSE(rig.trace.IsOpen());
  EXPECT_EQ(rig.host.outcomes, std::vector({OperationOutcome::ProgramSucceeded,
                                            OperationOutcome::Stopped}));
}

// Where a Verify cannot prove the memory, Program and Verify refuses before anything is sent.
TEST(EngineFlowsRefused, ProgramAndVerifyWhereAVerifyProvesNothing) {
  const struct {
    const char* name;
    std::string content;
    std::int32_t ignoreErrors;
  } refused[] = {{"746.ruf", "S30800001000AABBCCB6\r\n", 0},  // S frames carry no mode byte
                 {"797.ruf", ":0300300002337A1E\r\n", 0},     // nor do a 797's text lines
                 {"746.ruf", ":0300300002337A1E\r\n", 1}};    // answers ignored prove nothing
  for (const auto& f : refused) {
    EngineRig rig;
    rig.Start(f.name, f.content, {.ignoreErrors = f.ignoreErrors}, OperationMode::ProgramThenVerify);
    EXPECT_TRUE(rig.serial.writes.empty()) << f.name;
    EXPECT_EQ(rig.host.outcomes, std::vector({OperationOutcome::FileRefused})) << f.name;
    EXPECT_NE(rig.host.output.find("A Verify cannot prove"), std::string::npos) << rig.host.output;
  }
}

}  // namespace
}  // namespace flash::test
