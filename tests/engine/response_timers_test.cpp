#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

using std::chrono::milliseconds;

const char* const kRecords =
    ":0300300002337A1E\r\n"
    ":0300400002337A0E\r\n";
const std::string kFirstFrame = Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 0x0D});

class ResponseTimers : public EngineFixture {
 protected:
  std::size_t Count(const std::string& request) const {
    return static_cast<std::size_t>(std::count(serial.writes.begin(), serial.writes.end(), request));
  }
};

TEST_F(ResponseTimers, ASilentRadioGetsEightSendingsThenTheFailureDialog) {
  StartAndIdentify(WriteRuf("746.ruf", kRecords), "VER 1234 746\r");
  const std::int64_t sentAt = host.nowMs;
  for (int expiry = 1; expiry <= 7; ++expiry) {
    host.AdvanceBy(milliseconds{5000});
    EXPECT_EQ(Count(kFirstFrame), static_cast<std::size_t>(expiry + 1));
    EXPECT_TRUE(host.dialogs.empty());
  }
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(host.nowMs - sentAt, 40000);
  EXPECT_EQ(Count(kFirstFrame), 8u);
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::CommFailure}));
  EXPECT_EQ(host.beeps, 1);
  EXPECT_TRUE(host.timers.empty());
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::CommunicationFailed}));
  EXPECT_EQ(host.output.find("Lines Processed in"), std::string::npos);
  host.AdvanceBy(milliseconds{60000});
  EXPECT_EQ(Count(kFirstFrame), 8u);
}

TEST_F(ResponseTimers, ANewLineStartsTheSilenceCountAgain) {
  StartAndIdentify(WriteRuf("746.ruf", kRecords), "VER 1234 746\r");
  host.AdvanceBy(milliseconds{15000});  // three silences
  Answer(":1E\r");
  host.AdvanceBy(milliseconds{35000});  // seven more for the new line: still no failure
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_TRUE(engine.operationRunning());
}

TEST_F(ResponseTimers, NoAnswerToTheIdentificationShowsTheDialogThenRepeatsTheQuestion) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  host.AdvanceBy(milliseconds{5000});  // response timer: resend of "?V\r"
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r", "?V\r"}));
  const int purgesBefore = serial.purges;
  host.AdvanceBy(milliseconds{5000});  // identification timer, then the response timer
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::CommFailure}));
  EXPECT_GT(serial.purges, purgesBefore);
  EXPECT_FALSE(host.TimerRunning(kIdentificationTimerId));
  EXPECT_EQ(Count("?V\r"), 4u);
  EXPECT_TRUE(engine.operationRunning());
}

TEST_F(ResponseTimers, AResendBeforeTheFirstLineNeverReadsTheFile) {
  const std::string path = WriteRuf("746.ruf", kRecords);
  // An earlier operation leaves its last line behind.
  StartAndIdentify(path, "VER 1234 746\r");
  Answer(":1E\r");
  Answer(":0E\r");
  ASSERT_FALSE(engine.operationRunning());
  serial.writes.clear();
  Choose(path);
  engine.RunProgramCommand();
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r", "?V\r"}));
  Answer("VER 1234 746\r");
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r", "?V\r", "ZZ\r", "ZZ\r"}));
}

TEST_F(ResponseTimers, AnAnswerAfterSevenSecondsComesAfterOneResend) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  host.AdvanceBy(milliseconds{7000});
  Answer("VER 1234 746\r");
  EXPECT_EQ(LastWrite(), "ZZ\r");
  EXPECT_FALSE(host.TimerRunning(kIdentificationTimerId));
}

TEST_F(ResponseTimers, TheSilenceCountCarriesIntoTheNextIdentification) {
  const std::string path = WriteRuf("746.ruf", kRecords);
  StartAndIdentify(path, "VER 1234 746\r");
  host.AdvanceBy(milliseconds{40000});
  ASSERT_EQ(host.dialogs.size(), 1u);
  Choose(path);
  engine.RunProgramCommand();
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(host.dialogs.size(), 2u);
  EXPECT_FALSE(engine.operationRunning());
}

TEST_F(ResponseTimers, WithErrorsIgnoredASilenceMovesOnToTheNextLine) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand({.ignoreErrors = 1});
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(LastWrite(), kFirstFrame);
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(LastWrite()[3], 0x40);
  host.AdvanceBy(milliseconds{10000});
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProcessingComplete}));
}

TEST_F(ResponseTimers, ASerialAnswerStopsTheIdentificationTimerButADatagramDoesNot) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  Answer("hello\r");
  EXPECT_FALSE(host.TimerRunning(kIdentificationTimerId));

  settings.serialActive = false;
  settings.ethernetActive = true;
  Choose(WriteRuf("746.ruf", kRecords));
  host.AdvanceBy(milliseconds{40000});  // end the first operation
  engine.RunProgramCommand();
  udp.incoming.push_back("hello\r");
  engine.OnUdpReadable();
  EXPECT_TRUE(host.TimerRunning(kIdentificationTimerId));
  udp.incoming.push_back("VER 1234 746\r");
  engine.OnUdpReadable();
  EXPECT_FALSE(host.TimerRunning(kIdentificationTimerId));
}

TEST_F(ResponseTimers, AnIdentificationDialogOverlappingTheEndDoesNotRestartTheOperation) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  // While dialog 113 of the identification timer is open, the response timer
  // reaches its limit and ends the operation.
  host.duringDialog = [this](DialogId) {
    host.duringDialog = nullptr;
    host.AdvanceBy(milliseconds{40000});
  };
  host.AdvanceBy(milliseconds{10000});
  EXPECT_FALSE(engine.operationRunning());
  const std::size_t writes = serial.writes.size();
  host.AdvanceBy(milliseconds{60000});
  EXPECT_EQ(serial.writes.size(), writes);
}

}  // namespace
}  // namespace flash::test
