#include <gtest/gtest.h>

#include "engine/text_format.h"
#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

class RecordTransmission : public EngineFixture {
 protected:
  // Echoes the last frame's check byte (just before its CR), as a healthy radio does.
  void EchoExpected() {
    const std::string last = LastWrite();
    Answer(Format(":%02X\r", static_cast<std::uint8_t>(last[last.size() - 2])));
  }
  std::vector<std::string> WritesSinceStart() const {
    return std::vector<std::string>(serial.writes.begin() + 2, serial.writes.end());
  }
};

TEST_F(RecordTransmission, TheExampleLineGivesItsExactFrameInEachMode) {
  const std::string path = WriteRuf("746.ruf", ":0300300002337A1E\r\n");
  StartAndIdentify(path, "VER 1234 746\r");
  EXPECT_EQ(LastWrite(), Bytes({0x42, 0x03, 0x00, 0x30, 0x00, 0x02, 0x33, 0x7A, 0x1E, 0x0D}));
  EchoExpected();

  Choose(path);
  engine.RunVerifyCommand();
  Answer("VER 1234 746\r");
  Answer("READY\r");
  EXPECT_EQ(LastWrite()[0], 0x56);
  EchoExpected();

  Choose(path);
  engine.RunTestingCommand();
  Answer("x\r");
  EXPECT_EQ(LastWrite()[0], static_cast<char>(0x99));
  EXPECT_EQ(LastWrite().substr(1), Bytes({0x03, 0x00, 0x30, 0x00, 0x02, 0x33, 0x7A, 0x1E, 0x0D}));
}

TEST_F(RecordTransmission, SegmentRecordsGoOutOnlyWhenTheSegmentChanges) {
  StartAndIdentify(WriteRuf("746.ruf",
                            ":020000025AA5FF\r\n"   // the start value: not sent
                            ":020000021000EC\r\n"   // sent
                            ":020000021000EC\r\n"   // unchanged: not sent
                            ":020000022000DC\r\n"   // sent
                            ":00000001FF\r\n"),
                   "VER 1234 746\r");
  EXPECT_EQ(LastWrite(), Bytes({0x41, 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC, 0x0D}));
  EchoExpected();
  EXPECT_EQ(LastWrite(), Bytes({0x41, 0x02, 0x00, 0x00, 0x02, 0x20, 0x00, 0xDC, 0x0D}));
  EchoExpected();
  EXPECT_EQ(WritesSinceStart().size(), 2u);
}

TEST_F(RecordTransmission, AResendAfterASegmentWasSentMakesTheNextSegmentGoOutAgain) {
  StartAndIdentify(WriteRuf("746.ruf",
                            ":020000021000EC\r\n"
                            ":0300300002337A1E\r\n"
                            ":020000021000EC\r\n"
                            ":00000001FF\r\n"),
                   "VER 1234 746\r");
  EchoExpected();               // segment
  Answer(":00\r");              // wrong echo for the record: resent
  EXPECT_EQ(LastWrite()[0], 0x42);
  EchoExpected();               // record
  EXPECT_EQ(LastWrite()[0], 0x41);  // same segment value, sent again
}

TEST_F(RecordTransmission, APersonalitySendsNoSegmentsAndStoresEveryEFrameInIt) {
  host.personalityAnswer = 4;
  StartAndIdentify(WriteRuf("734.ruf",
                            ":020000021000EC\r\n"
                            "#E010203\r\n"
                            ":00000001FF\r\n"),
                   "VER-1234 734\r");
  EXPECT_EQ(LastWrite(), Bytes({0x45, 4, 0, 0, 0xFC, 0x0D}));
  Answer("E\r");
  EXPECT_EQ(WritesSinceStart().size(), 1u);
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
}

TEST_F(RecordTransmission, SRecordsSkipS0AndAnS9EndsTheFile) {
  StartAndIdentify(WriteRuf("746.ruf",
                            "S0030000FC\r\n"
                            "S30800001000AABBCCB6\r\n"
                            "S9030000FC\r\n"
                            ";never read\r\n"),
                   "VER 1234 746\r");
  EXPECT_EQ(LastWrite(),
            Bytes({0x53, 0x08, 0x00, 0x00, 0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xB6, 0x0D}));
  EchoExpected();
  EXPECT_EQ(LastWrite(), Bytes({0x53, 0x03, 0x00, 0x00, 0xFC, 0x0D}));
  EXPECT_NE(host.output.find(" 2 total data lines in file."), std::string::npos);
  EchoExpected();
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_EQ(WritesSinceStart().size(), 2u);
  EXPECT_NE(host.output.find(" End Of Code Processing, Please Standby!"), std::string::npos);
  EXPECT_EQ(host.output.find("never read"), std::string::npos);
}

TEST_F(RecordTransmission, AModel797GetsItsBinaryFramesByteForByte) {
  // Only text lines lose their line feed; a frame's data byte 0x0A stays.
  StartAndIdentify(WriteRuf("797.ruf", "S308000010000ABBCC56\r\n"), "VER 1234 797\r");
  EXPECT_EQ(LastWrite(),
            Bytes({0x53, 0x08, 0x00, 0x00, 0x10, 0x00, 0x0A, 0xBB, 0xCC, 0x56, 0x0D}));
}

TEST_F(RecordTransmission, HeadersAndCommentsGoToTheOutputPane) {
  StartAndIdentify(WriteRuf("746.ruf",
                            "#V   2.1\r\n"
                            "#M Model QV746\r\n"
                            ";built on the bench\r\n"
                            ":00000001FF\r\n"),
                   "VER 1234 746\r");
  EXPECT_NE(host.output.find(" Flash Rom Update File Format Version 2.1\r\n\r\n"
                             " Radio Update File for  Model QV746\r\n\r\n"
                             " built on the bench\r\n"),
            std::string::npos);
}

TEST_F(RecordTransmission, PassThroughLinesAndTheUnlockLineAreSentWithoutWaiting) {
  StartAndIdentify(WriteRuf("746.ruf",
                            "#>MODE 3\r\n"
                            "#>\r\n"
                            "#UNLOCKBOOT\r\n"
                            "#UNLOCK\r\n"
                            ":0300300002337A1E\r\n"),
                   "VER 1234 746\r");
  EXPECT_EQ(WritesSinceStart(),
            (std::vector<std::string>{"MODE 3\r\n", "\r", "\r\n", "\r", "UNLOCKBOOT\r",
                                      Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 0x0D})}));
}

TEST_F(RecordTransmission, VerifyPassesOverDirectivesButCountsTheELine) {
  Choose(WriteRuf("746.ruf",
                  "#E010203\r\n"
                  "#G01020304\r\n"
                  "#UNLOCKBOOT\r\n"
                  ":0300300002337A1E\r\n"));
  engine.RunVerifyCommand();
  Answer("VER 1234 746\r");
  Answer("READY\r");
  EXPECT_EQ(serial.writes.size(), 3u);
  EXPECT_EQ(LastWrite()[0], 0x56);
  // Before the record: the #E line counted, the #G line did not.
  EXPECT_EQ(host.status[0], "1 of 1 Lines Processed");
}

TEST_F(RecordTransmission, DirectiveFramesWaitForTheirAnswersWithTheirOwnPeriods) {
  Choose(WriteRuf("746.ruf", "#E010203\r\n#G01020304\r\n"));
  engine.RunProgramCommand({.ignoreErrors = 1});
  Answer("go\r");
  EXPECT_EQ(LastWrite(), Bytes({0x45, 1, 2, 3, 0xFA, 0x0D}));
  EXPECT_EQ(host.TimerPeriod(kResponseTimerId), std::chrono::milliseconds{40000});
  Answer("E\r");
  EXPECT_EQ(LastWrite(), Bytes({0x47, 1, 2, 3, 4, 0xF6, 0x0D}));
  EXPECT_EQ(host.TimerPeriod(kResponseTimerId), std::chrono::milliseconds{10000});
}

TEST_F(RecordTransmission, AWrongFileChecksumIsTracedAndTheLineIsStillSentWithIt) {
  StartAndIdentify(WriteRuf("746.ruf", ":0300300002337A55\r\n"), "VER 1234 746\r");
  EXPECT_EQ(LastWrite(), Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x55, 0x0D}));
  EXPECT_NE(TraceText().find(" File CheckSum Error Calc Checksum 1E Line Checksum 55\r\n\r\n"
                             ":0300300002337A55\r\r\n\r\n"),
            std::string::npos);
  EchoExpected();
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramFailure}));
}

TEST_F(RecordTransmission, LinesOfNoDefinedKindSendNothingAndDoNotWait) {
  StartAndIdentify(WriteRuf("746.ruf", "\r\n#X\r\nhello\r\n:0300300002337A1E\r\n"),
                   "VER 1234 746\r");
  EXPECT_EQ(WritesSinceStart().size(), 1u);
  EXPECT_EQ(LastWrite()[0], 0x42);
}

TEST_F(RecordTransmission, ProgressIsShownForEveryLineUpToFiftyThenEveryTenth) {
  std::string file;
  for (int i = 0; i < 70; ++i) file += ":0300300002337A1E\r\n";
  StartAndIdentify(WriteRuf("746.ruf", file), "VER 1234 746\r");
  EXPECT_EQ(host.status[0], "0 of 70 Lines Processed");
  for (int i = 0; i < 52; ++i) EchoExpected();
  EXPECT_EQ(host.status[0], "50 of 70 Lines Processed");
  for (int i = 0; i < 8; ++i) EchoExpected();
  EXPECT_EQ(host.status[0], "60 of 70 Lines Processed");
}

TEST_F(RecordTransmission, AModel797GetsItsLinesAsTextEndingInCrAlone) {
  StartAndIdentify(WriteRuf("797.ruf", ":0300300002337A1E\r\n"), "VER 1234 797\r");
  EXPECT_EQ(LastWrite(), ":0300300002337A1E\r");
  EXPECT_NE(TraceText().find(" R< 3a 30 33 30 30 33 30 30 30 30 32 33 33 37 41 31 45 0d \r\n"),
            std::string::npos);
  Answer("\x06\r");
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
}

}  // namespace
}  // namespace flash::test
