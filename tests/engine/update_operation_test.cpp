#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "engine/text_format.h"
#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

const char* const kTwoLines =
    ":0300300002337A1E\r\n"
    ":00000001FF\r\n";

class UpdateOperation : public EngineFixture {};

TEST_F(UpdateOperation, ProgramShowsItsTextsOpensThePortAndAsksTheRadioWhoItIs) {
  const std::string path = WriteRuf("746-test.ruf", kTwoLines);
  Choose(path);
  engine.RunProgramCommand();

  EXPECT_EQ(host.beginOutputCalls, 1);
  EXPECT_EQ(host.status[2], "Program Flash");
  EXPECT_EQ(host.output,
            "\r\n Flash Rom Update File - " + path +
                "\r\n\r\n Please be patient while your radio is being updated.\r\n\r\n"
                " 2 total data lines in file.\r\nUsing Serial Interface: Using Serial Interface "
                "\r\n\r\n");
  EXPECT_EQ(serial.calls,
            (std::vector<std::string>{"CheckPortAvailable /dev/ttyS0", "Open /dev/ttyS0 2048 2048",
                                      "SetLineFormat 57600 8 0 0", "SetFlowControl 1",
                                      "SetWriteTimeouts 10 10", "SetEventCharacter 13",
                                      "SetEventMask 130", "Purge"}));
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r"}));
  EXPECT_EQ(host.TimerPeriod(kIdentificationTimerId), std::chrono::milliseconds{10000});
  EXPECT_EQ(host.TimerPeriod(kResponseTimerId), std::chrono::milliseconds{5000});
  EXPECT_TRUE(engine.operationRunning());
  EXPECT_EQ(TraceText().substr(0, 16), "Log File Begin\r\n");
}

TEST_F(UpdateOperation, VerifyAsksForPatienceAndClearsItsModeTextAfterLaunching) {
  Choose(WriteRuf("746.ruf", kTwoLines));
  engine.RunVerifyCommand();
  EXPECT_NE(host.output.find(" Please be patient while your radio is being verified."),
            std::string::npos);
  EXPECT_EQ(host.status[2], "");
  EXPECT_EQ(host.statusHistory.front(), (std::pair<int, std::string>{2, "Verify Flash"}));
}

TEST_F(UpdateOperation, ACancelledFileDialogStartsNothing) {
  engine.RunProgramCommand();
  EXPECT_EQ(host.beginOutputCalls, 1);
  EXPECT_EQ(host.status[2], "Program Flash");
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_FALSE(engine.operationRunning());
}

TEST_F(UpdateOperation, AFileThatCannotBeOpenedIsReportedAndNothingIsSent) {
  Choose(dir.File("712-missing.ruf"));
  engine.RunProgramCommand();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "Unable to open file");
  EXPECT_TRUE(serial.calls.empty());
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::FileRefused}));
}

// A file that breaks the format, or holds nothing to send, or would be
// overwritten by the trace, is refused before any link opens: nothing reaches the radio.
TEST_F(UpdateOperation, AFileThatCannotBeSentAsCheckedIsRefusedBeforeAnyLinkIsOpened) {
  struct Case {
    const char* name;
    std::string content;
    const char* message;
  } cases[] = {
      {"malformed records", ":0300300002337A1E\r\n:0300300002X37A1E\r\n:03003000\r\n",
       "at line 2 (data: 'X' at column 11 is not a hex digit)"},
      {"carriage-return line ends", ":0300300002337A1E\r:0300400002337A0E\r",
       "at line 1 (text after the record's checksum (carriage-return line ends?))"},
      {"nothing to send", ";nothing here\r\n", "cannot be sent: it holds no records."},
      {"the trace's own file", kTwoLines, "is the update file itself"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.messages.clear();
    host.outcomes.clear();
    const std::string path = WriteRuf("746.ruf", c.content);
    // The trace named through a link to the file is still the file.
    const std::string link = dir.File("trace-link.txt");
    std::filesystem::remove(link);
    std::filesystem::create_symlink(path, link);
    trace.SetPath(std::string(c.message) == "is the update file itself" ? link
                                                                       : dir.File("comms.txt"));
    Choose(path);
    engine.RunProgramCommand();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].first.find(c.message), std::string::npos) << host.messages[0].first;
    EXPECT_NE(host.output.find("nothing was sent to the radio."), std::string::npos);
    EXPECT_TRUE(serial.calls.empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_FALSE(engine.operationRunning());
    EXPECT_EQ(TempDir::Read(path), c.content);
    EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::FileRefused}));
  }
}

TEST_F(UpdateOperation, NamesRecordsThatWillNotReachTheRadioOnceBeforeSendingAnything) {
  Choose(WriteRuf("746.ruf", "S1050000AABB95\r\nS1050000AABB95\r\nS30800001000AABBCCB6\r\n"));
  engine.RunProgramCommand();
  EXPECT_NE(host.output.find(" Warning: 2 lines of this file will not reach the radio as written; "
                             "the first, line 1: S1 record"),
            std::string::npos);
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r"}));
}

TEST_F(UpdateOperation, AMissingSerialPortIsReportedWithAdviceAndTheTimersReportTheSilence) {
  serial.availability = PortInUse;
  serial.hint = "Add your user to the group dialout.";
  settings.comPort = "/dev/ttyUSB7";
  Choose(WriteRuf("746.ruf", kTwoLines));
  engine.RunProgramCommand();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], (std::pair<std::string, std::string>{"That PORT is not available ",
                                                                   "I CAN'T"}));
  EXPECT_NE(host.output.find("/dev/ttyUSB7"), std::string::npos);
  EXPECT_NE(host.output.find("Add your user to the group dialout."), std::string::npos);
  EXPECT_TRUE(engine.operationRunning());
  EXPECT_TRUE(host.TimerRunning(kResponseTimerId));
}

TEST_F(UpdateOperation, AScriptHostStopsAtOnceWhenTheSerialPortIsMissing) {
  serial.availability = PortNotPresent;
  host.continueWithoutSerialPort = false;
  Choose(WriteRuf("746.ruf", kTwoLines));
  engine.RunProgramCommand();
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::LinkNotOpened}));
}

TEST_F(UpdateOperation, ASuccessfulProgramWritesTheEndReportClosesEverythingAndShows117) {
  host.nowMs = 1000;
  StartAndIdentify(WriteRuf("746.ruf", kTwoLines), "VER 1234 746\r");
  host.nowMs = 4200;
  serial.discardedAtClose = 3;  // flow control held back the last bytes
  Answer(":1E\r");
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_NE(host.output.find(" End Of Code Processing, Please Standby!\r\n2 Lines Processed in 3 "
                             "Seconds\r\n Close Communications Port\r\n Close File\r\n"),
            std::string::npos);
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess}));
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::ProgramSucceeded}));
  EXPECT_FALSE(serial.open);
  EXPECT_TRUE(host.timers.empty());
  const std::string traceText = TraceText();
  EXPECT_NE(traceText.find("[[End of Processing 0 Checksum Errors Encountered. Total time 3 Seconds]]\r\n"),
            std::string::npos);
  EXPECT_NE(traceText.find("[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"), std::string::npos);
  // The port closes before the trace, so the trace tells what it had to discard.
  EXPECT_TRUE(traceText.ends_with("[[serial port closed with 3 bytes of output held back by flow "
                                  "control; they were discarded]]\r\n"))
      << traceText;
  EXPECT_EQ(traceText.find("Close"), std::string::npos);
}

struct ResultCase {
  const char* name;
  void (UpdateEngine::*command)(const OperationOptions&);
  std::int32_t ignoreErrors;
  const char* record;  // the one data line of the file
  const char* echo;
  int echoes;
  std::optional<DialogId> dialog;
  const char* reason;  // the failure's one line, or nullptr for none
};

class ResultDialogChoice : public EngineFixture,
                           public ::testing::WithParamInterface<ResultCase> {};

TEST_P(ResultDialogChoice, FollowsTheOutcomeAndTheModeAndNamesTheReasonOfAFailure) {
  const ResultCase& c = GetParam();
  Choose(WriteRuf("746.ruf", std::string(";\r\n") + c.record + ":00000001FF\r\n"));
  (engine.*c.command)({.ignoreErrors = c.ignoreErrors});
  Answer("VER 1234 746\r");
  Answer("READY\r");
  for (int i = 0; i < c.echoes; ++i) Answer(c.echo);
  EXPECT_FALSE(engine.operationRunning());
  if (c.dialog) {
    EXPECT_EQ(host.dialogs, (std::vector<DialogId>{*c.dialog}));
  } else {
    EXPECT_TRUE(host.dialogs.empty());
  }
  const std::size_t failed = host.output.find(" The update failed: ");
  if (c.reason == nullptr) {
    EXPECT_EQ(failed, std::string::npos);
  } else {
    EXPECT_NE(host.output.find(std::string(" The update failed: ") + c.reason + "\r\n"),
              std::string::npos)
        << host.output;
  }
}

constexpr char kGoodRecord[] = ":0300300002337A1E\r\n";
constexpr char kBadChecksumRecord[] = ":0300300002337A1F\r\n";

INSTANTIATE_TEST_SUITE_P(
    AllOutcomes, ResultDialogChoice,
    ::testing::Values(
        ResultCase{"ProgramSuccess", &UpdateEngine::RunProgramCommand, 0, kGoodRecord, ":1E\r", 1,
                   DialogId::ProgramSuccess, nullptr},
        ResultCase{"ProgramFailure", &UpdateEngine::RunProgramCommand, 0, kGoodRecord, ":00\r", 4,
                   DialogId::ProgramFailure,
                   "the radio did not echo 1 line correctly after 4 sendings each (the first is "
                   "line 2 of the file)"},
        ResultCase{"WrongChecksumInTheFile", &UpdateEngine::RunProgramCommand, 0,
                   kBadChecksumRecord, ":1F\r", 1, DialogId::ProgramFailure,
                   "1 record of the file has a wrong checksum and was sent as written (the first "
                   "is line 2)"},
        ResultCase{"VerifySuccess", &UpdateEngine::RunVerifyCommand, 0, kGoodRecord, ":1E\r", 1,
                   DialogId::VerifySuccess, nullptr},
        ResultCase{"VerifyFailure", &UpdateEngine::RunVerifyCommand, 0, kGoodRecord, ":00\r", 4,
                   DialogId::VerifyFailure,
                   "the radio's memory differs from the file in 1 line (the first is line 2 of "
                   "the file)"},
        ResultCase{"IgnoredErrors", &UpdateEngine::RunProgramCommand, 1, kBadChecksumRecord,
                   ":1E\r", 1, DialogId::ProcessingComplete, nullptr},
        ResultCase{"TestMode", &UpdateEngine::RunTestingCommand, 0, kGoodRecord, ":1E\r", 1,
                   std::nullopt, nullptr}),
    [](const ::testing::TestParamInfo<ResultCase>& param) { return std::string(param.param.name); });

TEST_F(UpdateOperation, IgnoredErrorsAreAnnouncedAndEveryAnswerAdvances) {
  Choose(WriteRuf("999.ruf", kTwoLines));
  engine.RunProgramCommand({.ignoreErrors = 1});
  EXPECT_NE(host.output.find(
                "\r\n *** Detected Command Line Switch to Ignore Radio Responses and Errors *** \r\n"),
            std::string::npos);
  Answer("whatever\r");
  EXPECT_EQ(LastWrite(), Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 0x0D}));
  Answer(":00\r");
  EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProcessingComplete}));
  EXPECT_EQ(TraceText().find(" R> "), std::string::npos);
}

TEST_F(UpdateOperation, TestModeWritesTheEndReportButShowsNoDialog) {
  Choose(WriteRuf("746.ruf", kTwoLines));
  engine.RunTestingCommand();
  EXPECT_EQ(host.output.find("Please be patient"), std::string::npos);
  Answer("?\r");
  EXPECT_EQ(LastWrite()[0], static_cast<char>(0x99));
  Answer("?\r");
  EXPECT_NE(host.output.find("2 Lines Processed"), std::string::npos);
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::EndedWithoutDialog}));
}

TEST_F(UpdateOperation, ModeCommandsAreRefusedWhileAnOperationRuns) {
  Choose(WriteRuf("746.ruf", kTwoLines));
  engine.RunProgramCommand();
  engine.RunVerifyCommand();
  EXPECT_EQ(host.beginOutputCalls, 1);
  EXPECT_EQ(host.status[2], "Program Flash");
}

TEST_F(UpdateOperation, EachOperationBeginsItsTraceAnew) {
  const std::string path = WriteRuf("746.ruf", kTwoLines);
  StartAndIdentify(path, "VER 1234 746\r");
  Answer(":1E\r");
  StartAndIdentify(path, "VER 1234 746\r");
  const std::string traceText = TraceText();
  EXPECT_EQ(traceText.rfind("Log File Begin"), 0u);
  EXPECT_EQ(traceText.find("END OF ACTION"), std::string::npos);
}

TEST_F(UpdateOperation, ATraceThatCannotBeUsedIsSaidOnceWithItsReasonAndTheOperationGoesOn) {
  const std::string ruf = WriteRuf("746.ruf", kTwoLines);
  CommsTrace otherProgram{host};
  otherProgram.SetPath(dir.File("held.txt"));
  ASSERT_TRUE(otherProgram.Open());
  const std::string target = dir.Write("target.txt", "someone's notes\n");
  ASSERT_EQ(::symlink(target.c_str(), dir.File("link.txt").c_str()), 0);
  const struct {
    std::string path;
    std::string said;
    bool diskFull;  // the trace's file may not grow past its first line
  } cases[] = {
      {dir.File("no-such-dir/comms.txt"), "could not be created", false},
      {dir.File("held.txt"), "is in use by another program", false},
      {dir.File("link.txt"),
       "is not a regular file (a symbolic link, a pipe or a device) and is left alone", false},
      {dir.File("full.txt"), "could not be written (is the disk full?)", true},
  };
  for (const auto& c : cases) {
    host.output.clear();
    host.dialogs.clear();
    trace.SetPath(c.path);
    rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    // Past the limit a write fails with EFBIG instead of raising SIGXFSZ.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    if (c.diskFull) limited.rlim_cur = 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    StartAndIdentify(ruf, "VER 1234 746\r");
    Answer(":1E\r");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    const std::string said = " The trace file " + c.path + " " + c.said + "; the operation goes on";
    const std::size_t first = host.output.find(said);
    EXPECT_NE(first, std::string::npos) << host.output;
    EXPECT_EQ(host.output.find(" The trace file ", first + 1), std::string::npos) << host.output;
    EXPECT_EQ(host.dialogs, (std::vector<DialogId>{DialogId::ProgramSuccess})) << c.path;
  }
  EXPECT_EQ(TempDir::Read(target), "someone's notes\n");
  EXPECT_EQ(TempDir::Read(dir.File("held.txt")), "Log File Begin\r\n");
}

}  // namespace
}  // namespace flash::test

namespace flash::test {
namespace {

class StoppingAnOperation : public EngineFixture {};

TEST_F(StoppingAnOperation, ClosesTheLinksAndTheTraceAndIgnoresLaterEvents) {
  StartAndIdentify(WriteRuf("746.ruf", ":0300300002337A1E\r\n:0300400002337A0E\r\n"),
                   "VER 1234 746\r");
  engine.StopOperation();
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_FALSE(serial.open);
  EXPECT_FALSE(trace.IsOpen());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::Stopped}));
  const std::size_t writes = serial.writes.size();
  Answer(":1E\r");
  EXPECT_EQ(serial.writes.size(), writes);
  EXPECT_NE(TempDir::Read(dir.File("comms.txt")).find(" R< 42 03 00 30 "), std::string::npos);
}

}  // namespace
}  // namespace flash::test

namespace flash::test {
namespace {

class VerifyNotes : public EngineFixture {};

TEST_F(VerifyNotes, AVerifyOfSRecordsOrOfATextModelSaysWhatItCannotProve) {
  Choose(WriteRuf("746.ruf", "S30800001000AABBCCB6\r\n"));
  engine.RunVerifyCommand();
  EXPECT_NE(host.output.find("does not prove"), std::string::npos);
  engine.StopOperation();

  Choose(WriteRuf("797.ruf", ":0300300002337A1E\r\n"));
  engine.RunVerifyCommand();
  EXPECT_EQ(host.output.find("does not prove"), std::string::npos);
  Answer("VER 1234 797\r");
  EXPECT_NE(host.output.find("does not prove"), std::string::npos);
  engine.StopOperation();

  Choose(WriteRuf("746.ruf", ":0300300002337A1E\r\n"));
  engine.RunVerifyCommand();
  Answer("VER 1234 746\r");
  EXPECT_EQ(host.output.find("does not prove"), std::string::npos);
}

}  // namespace
}  // namespace flash::test
