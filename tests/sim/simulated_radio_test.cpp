#include "sim/simulated_radio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace flash::sim {
namespace {

using test::Bytes;

// The frame the program builds from ":0300300002337A1E" in the given mode.
std::string ExampleRecord(int mode) {
  return Bytes({mode, 0x03, 0x00, 0x30, 0x00, 0x02, 0x33, 0x7A, 0x1E, 0x0D});
}

RadioConfig Model(int model) {
  RadioConfig config;
  config.model = model;
  return config;
}

// Identification

TEST(SimulatedRadioIdentification, TheDefaultModelReportsNoModelCode) {
  SimulatedRadio radio;
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234\r");
}

TEST(SimulatedRadioIdentification, OtherModelsReportTheirCodeAfterTheDspNumber) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 746\r");
}

TEST(SimulatedRadioIdentification, ExtendedMemoryPutsADashAfterVer) {
  RadioConfig config = Model(734);
  config.extendedMemory = true;
  SimulatedRadio radio(config);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER-1234 734\r");
}

TEST(SimulatedRadioIdentification, TheDspNumberIsAlwaysFourDigits) {
  RadioConfig config = Model(781);
  config.dspNumber = 50;
  SimulatedRadio radio(config);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 0050 781\r");
}

TEST(SimulatedRadioIdentification, AnExplicitModelCodeIsReportedEvenFor712) {
  RadioConfig config;
  config.reportModelCode = 712;
  SimulatedRadio radio(config);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 712\r");
  radio.config().reportModelCode = 999;
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 999\r");
}

// Start commands and other commands

TEST(SimulatedRadioCommands, Model712AnswersXxWithReady) {
  SimulatedRadio radio;
  EXPECT_EQ(radio.HandleRequest("XX\r"), "READY\r");
  EXPECT_TRUE(radio.startCommandAccepted());
}

TEST(SimulatedRadioCommands, OtherModelsAnswerZzWithReady) {
  SimulatedRadio radio(Model(758));
  EXPECT_EQ(radio.HandleRequest("ZZ\r"), "READY\r");
}

TEST(SimulatedRadioCommands, TheStartCommandOfAnotherModelGetsTheBadCommandAnswer) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest("XX\r"), "Z\r");
  EXPECT_FALSE(radio.startCommandAccepted());
  SimulatedRadio defaultRadio;
  EXPECT_EQ(defaultRadio.HandleRequest("ZZ\r"), "Z\r");
}

TEST(SimulatedRadioCommands, ARadioThatNamesNoModelWantsXx) {
  RadioConfig config = Model(746);
  config.reportModelCode = 0;
  SimulatedRadio radio(config);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 0\r");
  EXPECT_EQ(radio.HandleRequest("XX\r"), "READY\r");
}

TEST(SimulatedRadioCommands, PersonalityCancelledGetsNoAnswer) {
  RadioConfig config = Model(734);
  config.extendedMemory = true;
  SimulatedRadio radio(config);
  EXPECT_EQ(radio.HandleRequest("P0\r"), "");
  EXPECT_TRUE(radio.personalityCancelled());
}

TEST(SimulatedRadioCommands, UnlockbootAndPassThroughLinesGetNoAnswer) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest("UNLOCKBOOT\r"), "");
  EXPECT_TRUE(radio.unlocked());
  EXPECT_EQ(radio.HandleRequest("SET BAND 2\r\n"), "");
  EXPECT_EQ(radio.HandleRequest("\r"), "");
  ASSERT_EQ(radio.log().size(), 3u);
  EXPECT_EQ(radio.log()[1].kind, RequestKind::Text);
  EXPECT_EQ(radio.log()[2].kind, RequestKind::Text);
}

TEST(SimulatedRadioCommands, EAndGFramesAreAnsweredWithTheirLetter) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest(Bytes({0x45, 0x01, 0x02, 0x03, 0xFA, 0x0D})), "E\r");
  EXPECT_EQ(radio.HandleRequest(Bytes({0x45, 0x01, 0x00, 0x00, 0xFF, 0x0D})), "E\r");
  EXPECT_EQ(radio.HandleRequest(Bytes({0x47, 0x01, 0x02, 0x03, 0x04, 0xF6, 0x0D})), "G\r");
  EXPECT_EQ(radio.log()[0].kind, RequestKind::EFrame);
  EXPECT_EQ(radio.log()[2].kind, RequestKind::GFrame);
}

// Record frames

TEST(SimulatedRadioRecords, ProgramWritesTheDataAndEchoesTheChecksumByte) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x42)), ":1E\r");
  EXPECT_EQ(radio.memory().size(), 3u);
  EXPECT_EQ(radio.memory().Read(0x0030), 0x02);
  EXPECT_EQ(radio.memory().Read(0x0031), 0x33);
  EXPECT_EQ(radio.memory().Read(0x0032), 0x7A);
  EXPECT_EQ(radio.log()[0].kind, RequestKind::RecordFrame);
}

TEST(SimulatedRadioRecords, TheEchoIsTheFramesChecksumByteEvenWhenItIsWrong) {
  SimulatedRadio radio(Model(746));
  const std::string frame = Bytes({0x42, 0x01, 0x00, 0x10, 0x00, 0xAA, 0x07, 0x0D});
  EXPECT_EQ(radio.HandleRequest(frame), ":07\r");
  EXPECT_EQ(radio.memory().Read(0x10), 0xAA);
}

TEST(SimulatedRadioRecords, VerifyOfMatchingMemoryEchoesTheFilesChecksum) {
  SimulatedRadio radio(Model(746));
  radio.HandleRequest(ExampleRecord(0x42));
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":1E\r");
  EXPECT_EQ(radio.memory().size(), 3u);
}

TEST(SimulatedRadioRecords, VerifyAgainstChangedMemoryGivesADifferentEcho) {
  SimulatedRadio radio(Model(746));
  radio.HandleRequest(ExampleRecord(0x42));
  radio.memory().Write(0x0031, 0x34);
  // 03 + 00 + 30 + 00 + 02 + 34 + 7A = 0xE3, two's complement 0x1D.
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":1D\r");
  EXPECT_EQ(radio.memory().Read(0x0031), 0x34);
}

TEST(SimulatedRadioRecords, VerifyOfErasedMemoryReadsEveryByteAs0xFF) {
  SimulatedRadio radio(Model(746));
  // 03 + 00 + 30 + 00 + FF + FF + FF = 0x330, two's complement 0xD0.
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":D0\r");
  EXPECT_TRUE(radio.memory().empty());
}

TEST(SimulatedRadioRecords, TestModeEchoesWithoutWriting) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x99)), ":1E\r");
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x3F)), ":1E\r");
  EXPECT_TRUE(radio.memory().empty());
}

TEST(SimulatedRadioRecords, ASegmentFrameMovesLaterRecordsToSegmentTimes16) {
  SimulatedRadio radio(Model(746));
  // ":020000021000EC" as an 'A' frame.
  EXPECT_EQ(radio.HandleRequest(Bytes({0x41, 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC, 0x0D})),
            ":EC\r");
  EXPECT_EQ(radio.segment(), 0x1000u);
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x42)), ":1E\r");
  EXPECT_EQ(radio.memory().Read(0x10030), 0x02);
  EXPECT_FALSE(radio.memory().IsWritten(0x0030));
  // Verify reads from the same place.
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":1E\r");
}

TEST(SimulatedRadioRecords, AnS3FrameWritesAtItsFourByteAddress) {
  SimulatedRadio radio(Model(746));
  // "S30800012345AABBCC5D": count 8 = 4 address + 3 data + checksum.
  const std::string frame =
      Bytes({0x53, 0x08, 0x00, 0x01, 0x23, 0x45, 0xAA, 0xBB, 0xCC, 0x5D, 0x0D});
  EXPECT_EQ(frame.size(), 8u + 3u);
  EXPECT_EQ(radio.HandleRequest(frame), ":5D\r");
  EXPECT_EQ(radio.memory().Read(0x00012345), 0xAA);
  EXPECT_EQ(radio.memory().Read(0x00012347), 0xCC);
  EXPECT_EQ(radio.memory().size(), 3u);
}

TEST(SimulatedRadioRecords, AnS9FrameIsEchoedAndWritesNothing) {
  SimulatedRadio radio(Model(746));
  // "S9030000FC"
  EXPECT_EQ(radio.HandleRequest(Bytes({0x53, 0x03, 0x00, 0x00, 0xFC, 0x0D})), ":FC\r");
  EXPECT_TRUE(radio.memory().empty());
}

TEST(SimulatedRadioRecords, AFrameOfTheWrongLengthIsNotAnswered) {
  SimulatedRadio radio(Model(746));
  std::string cut = ExampleRecord(0x42);
  cut.erase(5, 1);
  EXPECT_EQ(radio.HandleRequest(cut), "");
  EXPECT_EQ(radio.HandleRequest(Bytes({0x42, 0x03, 0x00})), "");
  EXPECT_TRUE(radio.memory().empty());
}

// Models 797 and 729: text lines

TEST(SimulatedRadioTextLines, Model797WritesAnIntelHexLineAndAnswersAck) {
  SimulatedRadio radio(Model(797));
  EXPECT_EQ(radio.HandleRequest(":0300300002337A1E\r"), "\x06\r");
  EXPECT_EQ(radio.memory().Read(0x0031), 0x33);
  EXPECT_EQ(radio.log()[0].kind, RequestKind::HexTextLine);
}

TEST(SimulatedRadioTextLines, Model729FollowsSegmentLines) {
  SimulatedRadio radio(Model(729));
  EXPECT_EQ(radio.HandleRequest(":020000021000EC\r"), "\x06\r");
  EXPECT_EQ(radio.HandleRequest(":0300300002337A1E\r"), "\x06\r");
  EXPECT_EQ(radio.memory().Read(0x10031), 0x33);
  EXPECT_EQ(radio.HandleRequest(":00000001FF\r"), "\x06\r");
}

TEST(SimulatedRadioTextLines, ALineWithAWrongChecksumIsRefusedWithNak) {
  SimulatedRadio radio(Model(797));
  EXPECT_EQ(radio.HandleRequest(":0300300002337A1F\r"), "\x15\r");
  EXPECT_EQ(radio.HandleRequest(":03003000\r"), "\x15\r");
  EXPECT_TRUE(radio.memory().empty());
}

TEST(SimulatedRadioTextLines, OtherModelsTakeATextRecordLineAsPassThrough) {
  SimulatedRadio radio(Model(746));
  EXPECT_EQ(radio.HandleRequest(":0300300002337A1E\r"), "");
  EXPECT_TRUE(radio.memory().empty());
}

// Log and state

TEST(SimulatedRadioLog, EveryRequestIsLoggedWithItsBytesAndAnswers) {
  SimulatedRadio radio(Model(746));
  radio.HandleRequest("?V\r");
  radio.HandleRequest("ZZ\r");
  radio.HandleRequest(ExampleRecord(0x42));
  ASSERT_EQ(radio.log().size(), 3u);
  EXPECT_EQ(radio.requestCount(), 3);
  EXPECT_EQ(radio.log()[0].number, 1);
  EXPECT_EQ(radio.log()[0].kind, RequestKind::Identification);
  EXPECT_EQ(radio.log()[1].kind, RequestKind::StartCommand);
  EXPECT_EQ(radio.log()[2].bytes, ExampleRecord(0x42));
  EXPECT_EQ(radio.log()[2].answers, std::vector<std::string>{":1E\r"});
  EXPECT_EQ(radio.log()[2].note, "wrote 3 bytes at 0x00000030");
  radio.ClearLog();
  EXPECT_TRUE(radio.log().empty());
  EXPECT_EQ(radio.requestCount(), 3);
}

}  // namespace
}  // namespace flash::sim
