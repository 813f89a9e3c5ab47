#include <gtest/gtest.h>

#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

const char* const kRecords =
    ":0300300002337A1E\r\n"
    ":0300400002337A0E\r\n"
    ":00000001FF\r\n";

const std::string kFirstFrame = Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 0x0D});
const std::string kSecondFrame = Bytes({0x42, 3, 0, 0x40, 0, 2, 0x33, 0x7A, 0x0E, 0x0D});

class ResponseParser : public EngineFixture {
 protected:
  void SetUp() override { StartAndIdentify(WriteRuf("746.ruf", kRecords), "VER 1234 746\r"); }
  std::size_t Count(const std::string& frame) const {
    return static_cast<std::size_t>(std::count(serial.writes.begin(), serial.writes.end(), frame));
  }
};

TEST_F(ResponseParser, AMatchingEchoSendsTheNextRecord) {
  ASSERT_EQ(LastWrite(), kFirstFrame);
  Answer(":1E\r");
  EXPECT_EQ(LastWrite(), kSecondFrame);
}

TEST_F(ResponseParser, ReadyAnywhereGoesOnEvenAfterAColonOrZ) {
  Answer(":00 READY\r");
  EXPECT_EQ(LastWrite(), kSecondFrame);
  EXPECT_NE(TraceText().find(" R> READY RESPONSE DETECTED\r\n"), std::string::npos);
}

TEST_F(ResponseParser, ResendsTheSameLineOnAWrongEchoAndGivesItUpAtTheFourth) {
  for (int i = 0; i < 3; ++i) {
    Answer(":00\r");
    EXPECT_EQ(LastWrite(), kFirstFrame);
  }
  EXPECT_EQ(Count(kFirstFrame), 4u);
  Answer(":00\r");
  EXPECT_EQ(LastWrite(), kSecondFrame);
  EXPECT_EQ(Count(kFirstFrame), 4u);
  EXPECT_EQ(host.progress.back(), (std::pair<int, int>{1, 3}));
  Answer(":0E\r");  // later matching echoes leave the failure recorded
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramFailure}));
  EXPECT_NE(TraceText().find("[[END OF ACTION FailureFlag=1 Total Errors=1]]"), std::string::npos);
}

TEST_F(ResponseParser, AnEchoWithoutDigitsIsComparedWithThePreviousEchoValue) {
  Answer(":1E\r");        // echoValue 1E, next record expects 0E
  Answer(":\r");          // still 1E: a mismatch, the line again
  EXPECT_EQ(Count(kSecondFrame), 2u);
  Answer(": 0e\r");
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
}

TEST_F(ResponseParser, FlowControlBytesAreOnlyNotedAndTheTimerKeepsRunning) {
  const std::size_t writes = serial.writes.size();
  Answer("\x13");
  Answer("\x11");
  EXPECT_EQ(serial.writes.size(), writes);
  EXPECT_TRUE(host.TimerRunning(kResponseTimerId));
  const std::string traceText = TraceText();
  EXPECT_NE(traceText.find(" R> Model 797 sent a XOFF\r\n"), std::string::npos);
  EXPECT_NE(traceText.find(" R> Model 797 sent a XON\r\n"), std::string::npos);
}

class Dispatch : public EngineFixture {};

TEST_F(Dispatch, FollowsTheTableInItsOrder) {
  std::string file;
  for (int i = 0; i < 12; ++i) file += ":0300300002337A1E\r\n";
  StartAndIdentify(WriteRuf("746.ruf", file), "VER 1234 746\r");
  struct Case {
    std::string answer;
    bool goesOn;
  };
  const Case cases[] = {{"\x06\r", true},      {"Zbad\r", false}, {"Sx\r", false},
                        {"E\r", true},          {"G\r", true},     {"A\r", true},
                        {"VER 1 DSP\r", true},  {"what?\r", false}, {"Z READY\r", true},
                        {"\x13READY\r", true}};
  for (const Case& c : cases) {
    const std::size_t before = serial.writes.size();
    Answer(c.answer);
    EXPECT_EQ(serial.writes.size() > before, c.goesOn) << c.answer;
  }
  EXPECT_EQ(host.status[1], "Model QV746");
}

TEST_F(ResponseParser, AnUnknownAnswerAndAnEmptyOneAreTracedAsNotUnderstood) {
  Answer("hello\r");
  serial.input.clear();
  engine.OnSerialEvent(kEventFlagChar, 0);
  const std::string traceText = TraceText();
  const std::string note = "[[serial response parser  I didn't understand the response ]]\r\n";
  const std::size_t first = traceText.find(note);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(traceText.find(note, first + 1), std::string::npos);
}

TEST_F(ResponseParser, TracesEveryAnswerAsUpperCaseHexEndingInCr) {
  Answer("READY\r");
  EXPECT_NE(TraceText().find(" R> 52 45 41 44 59 0D \r\r\n"), std::string::npos);
}

TEST_F(ResponseParser, ASerialNotificationWithoutTheEventCharacterReadsNothing) {
  serial.input = ":1E\r";
  engine.OnSerialEvent(kEventLineError, 0x0008);
  EXPECT_EQ(serial.input, ":1E\r");
  EXPECT_EQ(LastWrite(), kFirstFrame);
}

TEST_F(ResponseParser, ReadsAtMost128BytesAndPurgesTheRest) {
  serial.input = ":1E" + std::string(200, ' ') + "\r";
  engine.OnSerialEvent(kEventFlagChar, 0);
  EXPECT_TRUE(serial.input.empty());
  EXPECT_EQ(LastWrite(), kSecondFrame);
  EXPECT_NE(TraceText().find(std::string(" R> 3A 31 45 ") + "20 20 "), std::string::npos);
}

TEST_F(ResponseParser, ALongAnswerIsParsedWithItsRealLength) {
  std::string answer(300, 'x');
  answer += "READY\r";
  udp.incoming.push_back(answer);  // a datagram may be far longer than a serial read
  engine.OnUdpReadable();
  EXPECT_EQ(LastWrite(), kSecondFrame);
}

TEST_F(ResponseParser, ANulByteEndsTheTextForTheSubstringTests) {
  Answer(std::string("x\0READY\r", 8));
  EXPECT_EQ(LastWrite(), kFirstFrame);
  EXPECT_NE(TraceText().find(" R> 78 00 52 45 41 44 59 0D \r\r\n"), std::string::npos);
}

TEST_F(ResponseParser, AnswersAfterTheEndChangeNothingAndSendNothing) {
  Answer(":1E\r");
  Answer(":0E\r");
  ASSERT_FALSE(engine.operationRunning());
  const auto writes = serial.writes;
  const auto outcomes = host.outcomes;
  Answer("READY\r");
  host.AdvanceBy(std::chrono::seconds{60});
  EXPECT_EQ(serial.writes, writes);
  EXPECT_EQ(host.outcomes, outcomes);
}

class SendToRadio : public EngineFixture {};

TEST_F(SendToRadio, TracesTheBytesInLowerCaseHex) {
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  EXPECT_NE(TraceText().find(" R< 3f 56 0d \r\n"), std::string::npos);
}

TEST_F(SendToRadio, Models797And729GetTextLinesEndingInCrAloneAndOthersKeepTheirLineFeeds) {
  StartAndIdentify(WriteRuf("797.ruf", "#>ABCD\r\n:0300300002337A1E\r\n"), "VER 1234 797\r");
  EXPECT_EQ(serial.writes[2], "ABCD\r");
  engine.StopOperation();
  StartAndIdentify(WriteRuf("712.ruf", "#>A\r\n:0300300002337A1E\r\n"), "VER 1234\r");
  EXPECT_EQ(serial.writes.end()[-3], "A\r\n");
}

TEST_F(SendToRadio, UdpDatagramsBeginWithThePasscodeHighByteFirst) {
  settings.serialActive = false;
  settings.ethernetActive = true;
  settings.radioPasscode = 0x12345;
  Choose(WriteRuf("746.ruf", kRecords));
  engine.RunProgramCommand();
  ASSERT_EQ(udp.datagrams.size(), 1u);
  EXPECT_EQ(udp.datagrams[0], Bytes({0x23, 0x45, '?', 'V', '\r'}));
  EXPECT_TRUE(serial.writes.empty());
}

}  // namespace
}  // namespace flash::test
