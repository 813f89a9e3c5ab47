// One operation driven by events: a host on a virtual clock and a scripted radio.
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tests/support/engine_rig.h"

namespace flash::test {
namespace {

using std::chrono::milliseconds;
using Writes = std::vector<std::string>;
using Outcomes = std::vector<OperationOutcome>;
using Dialogs = std::vector<DialogId>;
constexpr auto npos = std::string::npos;
constexpr auto kProgram = &UpdateEngine::RunProgramCommand;
constexpr auto kVerify = &UpdateEngine::RunVerifyCommand;
constexpr auto kTest = &UpdateEngine::RunTestingCommand;
const std::string kRecord = ":0300300002337A1E\r\n";
const std::string kFrame = Hex("42 03 00 30 00 02 33 7A 1E 0D");
const std::string kSecondRecord = ":0300400002337A0E\r\n";
const std::string kSecondFrame = Hex("42 03 00 40 00 02 33 7A 0E 0D");

TEST_F(Engine, ProgramOpensTheSerialPortTheRadioWayAndAsksWhoItIs) {
  Start("746.ruf", kRecord + ":00000001FF\r\n");
  EXPECT_EQ(serial.calls, (Writes{"CheckPortAvailable /dev/ttyS0", "Open /dev/ttyS0 2048 2048",
                                  "SetLineFormat 57600 8 0 0", "SetFlowControl 1",
                                  "SetWriteTimeouts 10 10", "SetEventCharacter 13 0",
                                  "SetEventMask 130", "Purge"}));
  EXPECT_EQ(serial.writes, Writes{"?V\r"});
  EXPECT_EQ(host.status[2], "Program Flash");
  EXPECT_NE(host.output.find(" 2 total data lines in file.\r\n"), npos);
  EXPECT_TRUE(Trace().starts_with("Log File Begin\r\n"));
  EXPECT_NE(Trace().find(" R< 3f 56 0d \r\n"), npos);
}

// Nothing reaches the radio from a file that would not be sent as it was checked.
TEST(EngineRefusal, AFileThatCannotBeSentAsCheckedIsRefusedBeforeAnyLinkOpens) {
  const std::pair<const char*, const char*> cases[] = {  // the file (nullptr: none), what is said
      {nullptr, "Unable to open file"},
      {":0300300002337A1E\r\n:0300300002X37A1E\r\n",
       "breaks the update file format at line 2 (data: 'X' at column 11 is not a hex digit)"},
      {";nothing here\r\n", "cannot be sent: it holds no records."},
      {":0300300002337A1E\r\n", "is the update file itself"},
  };
  for (const auto& [content, said] : cases) {
    EngineRig rig;
    const std::string path = rig.dir.Write("746.ruf", content ? content : "");
    if (!content) std::filesystem::remove(path);
    if (std::string_view(said).starts_with("is the update")) {
      // The trace named through a link to the file is still the file.
      std::filesystem::create_symlink(path, rig.dir.File("link.txt"));
      rig.trace.SetPath(rig.dir.File("link.txt"));
    }
    rig.host.chosenFile = path;
    rig.engine.RunProgramCommand();
    ASSERT_EQ(rig.host.messages.size(), 1u) << said;
    EXPECT_NE(rig.host.messages[0].first.find(said), npos) << rig.host.messages[0].first;
    EXPECT_EQ(rig.serial.calls.size() + rig.host.timers.size(), 0u) << said;
    EXPECT_EQ(rig.host.outcomes, Outcomes{OperationOutcome::FileRefused});
    EXPECT_EQ(TempDir::Read(path), content ? content : "");
  }
}

// The model check is the one guard against flashing the wrong firmware.
TEST_F(Engine, NothingOfTheFileGoesOutBeforeTheRadioHasNamedItsModel) {
  StartAndIdentify("746.ruf", kRecord);
  Answer(":1E\r");  // an earlier operation leaves its last line behind
  serial.writes.clear();
  Start("746.ruf", kRecord);
  for (const char* answer : {"EH?\r", "E\r", "G\r", "A\r", "READY\r", ":00\r", "DSP\r", "\x06\r"}) {
    Answer(answer);
  }
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "?V\r"}));
  EXPECT_NE(Trace().find("Answer before identification; ignored"), npos);
  Answer("VER 1234 746\r");
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "?V\r", "ZZ\r", "ZZ\r"}));
}

TEST(EngineModels, EachModelTakesOnlyTheFilesMadeForIt) {
  // The family as the README lists it: what the radio reports after its DSP number,
  // its name in the status bar and in the refusal, and the model code of its files.
  const char* const models[][4] = {
      {"", "Ostrel 712", "Ostrel", "712"},
      {" 734", "Banwick 734", "Banwick", "734"},
      {" 746", "Model QV746", "Model QV746", "746"},
      {" 758", "Model 758", "Model 758", "758"},
      {" 763", "QV-763 Reciever", "QV-763", "763"},
      {" 775", "Kestrun V Transceiver", "KESTRUN-V", "775"},
      {" 781", "Fennic 781", "Fennic", "781"},
      {" 784", "Fennic 2 784", "Fennic2", "784"},
      {" 797", "Model 797", "Model 797", "797"},
      {" 729", "Model 729", "Model 729", "729"},
  };
  for (const auto& radio : models) {
    for (const auto& file : models) {
      SCOPED_TRACE(std::string(radio[1]) + " given a file for " + file[3]);
      EngineRig rig;
      rig.Start(std::string(file[3]) + "-update.ruf", kRecord);
      rig.Answer(std::string("VER 1234") + radio[0] + "\r");
      EXPECT_EQ(rig.host.status[1], radio[1]);
      const bool takes = &radio == &file;
      EXPECT_EQ(rig.serial.writes.back(), !takes ? "?V\r" : *radio[0] ? "ZZ\r" : "XX\r");
      EXPECT_EQ(rig.host.messages.size(), takes ? 0u : 1u);
      if (takes) continue;
      EXPECT_EQ(rig.host.messages[0].first,
                std::string("The selected RUF file is not compatible with the ") + radio[2]);
      EXPECT_EQ(rig.host.outcomes, Outcomes{OperationOutcome::ModelMismatch});
      EXPECT_FALSE(rig.serial.open || rig.engine.operationRunning());
      EXPECT_TRUE(rig.host.timers.empty());
    }
  }
}

TEST_F(Engine, AnUnlistedModelIsShownItsDspVersionAndSentNothing) {
  Start("712.ruf", kRecord);
  Answer("VER 0050 712\r");
  EXPECT_EQ(host.status[2], "DSP VERSION 0.050");
  EXPECT_EQ(host.identified, std::vector<std::int32_t>{712});
  host.AdvanceBy(milliseconds{4999});
  EXPECT_EQ(serial.writes, Writes{"?V\r"});
  EXPECT_TRUE(host.outcomes.empty()) << "the timers decide, unless the host stops at once";
  host.stopOnUnlistedModel = true;
  Answer("VER 1234 9999\r");
  EXPECT_EQ(host.status[2], "DSP VERSION 1.234");
  EXPECT_EQ(host.outcomes, Outcomes{OperationOutcome::UnlistedModel});
  EXPECT_FALSE(serial.open);
  Start("712.ruf", kRecord);
  Answer("VER");  // too short for a model code: the default model
  EXPECT_EQ(LastWrite(), "XX\r");
}

TEST(EngineFrames, EachKindOfLineReachesTheRadioAsItExpectsIt) {
  const struct {
    const char* name;
    void (UpdateEngine::*command)(const OperationOptions&);
    int model;
    std::string file;
    Writes sent;  // after "?V\r", to a radio that answers as a healthy one does
    int wrongEchoes = 0;
  } cases[] = {
      {"a data record", kProgram, 746, kRecord, {"ZZ\r", kFrame}},
      {"Verify", kVerify, 746, kRecord, {"ZZ\r", Hex("56 03 00 30 00 02 33 7A 1E 0D")}},
      {"Test", kTest, 746, kRecord, {Hex("99 03 00 30 00 02 33 7A 1E 0D")}},
      {"16 bytes", kProgram, 746, ":10010000214601360121470136007EFE09D2190140\r\n",
       {"ZZ\r", Hex("42 10 01 00 00 21 46 01 36 01 21 47 01 36 00 7E FE 09 D2 19 01 40 0D")}},
      {"segments as they change", kProgram, 746,
       ":020000025AA5FD\r\n:020000021000EC\r\n:020000021000EC\r\n:020000022000DC\r\n"
       ":020000040001F9\r\n:00000001FF\r\n",
       {"ZZ\r", Hex("41 02 00 00 02 10 00 EC 0D"), Hex("41 02 00 00 02 20 00 DC 0D")}},
      {"wrong echoes: a line goes 4 times, and the segment again", kProgram, 746,
       ":020000021000EC\r\n" + kRecord + ":020000021000EC\r\n" + kSecondRecord,
       {"ZZ\r", Hex("41 02 00 00 02 10 00 EC 0D"), kFrame, kFrame, kFrame, kFrame,
        Hex("41 02 00 00 02 10 00 EC 0D"), kSecondFrame}, 4},
      {"S-records", kProgram, 746,
       "S0030000FC\r\nS1050000AABB95\r\nS30800001000AABBCCB7\r\nS9030000FC\r\n;never read\r\n",
       {"ZZ\r", Hex("53 08 00 00 10 00 AA BB CC B7 0D"), Hex("53 03 00 00 FC 0D")}},
      {"an S2 ends the reading", kProgram, 746, "S2060000001122C6\r\nS30800001000AABBCCB6\r\n",
       {"ZZ\r", Hex("53 06 00 00 00 11 22 C6 0D")}},
      {"directives", kProgram, 746, "#E010203\r\n#G01020304\r\n",
       {"ZZ\r", Hex("45 01 02 03 FA 0D"), Hex("47 01 02 03 04 F6 0D")}},
      {"directives in Verify", kVerify, 746, "#E010203\r\n#G01020304\r\n#UNLOCKBOOT\r\n" + kRecord,
       {"ZZ\r", Hex("56 03 00 30 00 02 33 7A 1E 0D")}},
      {"text and lines of no kind", kProgram, 746,
       "#>MODE 3\r\n#>\r\n#UNLOCKBOOT\r\n#UNLOCK\r\n\r\n#X\r\nhello\r\n" + kRecord,
       {"ZZ\r", "MODE 3\r\n", "\r", "\r\n", "\r", "UNLOCKBOOT\r", kFrame}},
      {"a 797's text lines", kProgram, 797, "#>ABCD\r\n" + kRecord + "S308000010000ABBCC56\r\n",
       {"ZZ\r", "ABCD\r", "\r", ":0300300002337A1E\r", Hex("53 08 00 00 10 00 0A BB CC 56 0D")}},
      {"a 729's text lines", kProgram, 729, kRecord, {"ZZ\r", ":0300300002337A1E\r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRig rig;
    rig.Healthy(Format("VER 1234 %d\r", c.model), c.wrongEchoes);
    rig.Start(std::to_string(c.model) + ".ruf", c.file, {}, c.command);
    rig.RunToTheEnd();
    EXPECT_EQ(Writes(rig.serial.writes.begin() + 1, rig.serial.writes.end()), c.sent);
    EXPECT_FALSE(rig.engine.operationRunning());
  }
}

TEST_F(Engine, EachAnswerGoesOnOrWaitsAsTheRadiosHaveAlwaysBeenRead) {
  std::string file;
  for (int i = 0; i < 16; ++i) file += kRecord;
  StartAndIdentify("746.ruf", file);
  const std::tuple<std::string, bool, const char*> cases[] = {  // answer, goes on, traced
      {"\x06\r", true, " R> Model 797 sent a ACKLOD\r\n"},
      {"\x13\r", false, " R> Model 797 sent a XOFF\r\n"},
      {"\x11\r", false, " R> Model 797 sent a XON\r\n"},
      {"Zbad\r", false, ""}, {"Sx\r", false, ""}, {"E\r", true, ""}, {"G\r", true, ""}, {"A\r", true, ""},
      {"VER 1 DSP\r", true, ""}, {":00 READY\r", true, " R> READY RESPONSE DETECTED\r\n"},
      {"Z READY\r", true, ""}, {"what?\r", false, "[[serial response parser  I didn't understand the response ]]"},
      {"", false, " R> \r\r\n"}, {std::string("x\0READY\r", 8), false, " R> 78 00 52 45 41 44 59 0D \r\r\n"},
      {":1E\r", true, ""}, {":\r", true, ""},  // no digits: the last echo's value, 1E, again
      {"VER 1234 746\r", true, ""},           // identified again: the start command again
  };
  for (const auto& [answer, goesOn, traced] : cases) {
    const std::size_t writes = serial.writes.size();
    const std::size_t traceSize = Trace().size();
    Answer(answer);
    EXPECT_EQ(serial.writes.size() > writes, goesOn) << answer;
    EXPECT_NE(Trace().find(traced, traceSize), npos) << answer;
  }
  EXPECT_EQ(LastWrite(), "ZZ\r");
  // One answer is at most 128 bytes; the rest is purged.
  serial.input = std::string(200, 'A');
  engine.OnSerialEvent(kEventFlagChar, 0);
  EXPECT_TRUE(serial.input.empty());
  std::string read;
  for (int i = 0; i < 128; ++i) read += "41 ";
  EXPECT_NE(Trace().find(" R> " + read + "\r"), npos);
  // A notification without the event character reads nothing.
  serial.input = ":1E\r";
  engine.OnSerialEvent(kEventLineError, kLineErrorFraming);
  EXPECT_EQ(serial.input, ":1E\r");
}

TEST(EngineResults, FollowTheOutcomeAndTheModeAndNameTheReasonOfAFailure) {
  const struct {
    void (UpdateEngine::*command)(const OperationOptions&);
    int ignoreErrors;
    const char* record;
    const char* echo;
    int echoes;
    Dialogs dialogs;
    OperationOutcome outcome;
    const char* reason;
  } cases[] = {
      {kProgram, 0, ":0300300002337A1E", ":1E0\r", 1, {DialogId::ProgramSuccess},  // two digits count
       OperationOutcome::ProgramSucceeded, ""},
      {kProgram, 0, ":0300300002337A1E", ":00\r", 4, {DialogId::ProgramFailure}, OperationOutcome::ProgramFailed,
       "the radio did not echo 1 line correctly after 4 sendings each (the first is line 2 of the file)"},
      {kProgram, 0, ":0300300002337A1F", ":1F\r", 1, {DialogId::ProgramFailure}, OperationOutcome::ProgramFailed,
       "1 record of the file has a wrong checksum and was sent as written (the first is line 2)"},
      {kProgram, 0, "S30800001000AABBCCB7", ":B7\r", 1, {DialogId::ProgramFailure},
       OperationOutcome::ProgramFailed,
       "1 record of the file has a wrong checksum and was sent as written (the first is line 2)"},
      {kVerify, 0, ":0300300002337A1E", ": 1e\r", 1, {DialogId::VerifySuccess},
       OperationOutcome::VerifySucceeded, ""},
      {kVerify, 0, ":0300300002337A1E", ":00\r", 4, {DialogId::VerifyFailure}, OperationOutcome::VerifyFailed,
       "the radio's memory differs from the file in 1 line (the first is line 2 of the file)"},
      {kProgram, 1, ":0300300002337A1F", ":00\r", 1, {DialogId::ProcessingComplete},
       OperationOutcome::CompletedUnchecked, ""},
      {kTest, 0, ":0300300002337A1E", ":00\r", 1, {}, OperationOutcome::EndedWithoutDialog, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.record) + c.echo);
    EngineRig rig;
    // The end record's checksum is wrong, but a record of no bytes is never tested.
    rig.Start("746.ruf", std::string(";\r\n") + c.record + "\r\n:00000001FE\r\n",
              {.ignoreErrors = c.ignoreErrors}, c.command);
    rig.Answer("VER 1234 746\r");
    rig.Answer("READY\r");
    for (int i = 0; i < c.echoes; ++i) rig.Answer(c.echo);
    EXPECT_EQ(rig.host.dialogs, c.dialogs);
    EXPECT_EQ(rig.host.outcomes, Outcomes{c.outcome});
    const std::string& out = rig.host.output;
    const std::size_t failed = out.find(" The update failed: ");
    EXPECT_EQ(failed == npos ? "" : out.substr(failed + 20, out.find("\r\n", failed) - failed - 20), c.reason);
  }
}

TEST_F(Engine, SilenceResendsALineSevenTimesThenEndsWithTheCommunicationFailure) {
  StartAndIdentify("746.ruf", kRecord + kSecondRecord);
  host.AdvanceBy(milliseconds{15000});
  Answer(":1E\r");  // a new line counts its silences anew
  host.AdvanceBy(milliseconds{39999});
  EXPECT_EQ(Count(kFrame) * 10 + Count(kSecondFrame), 48u);
  EXPECT_TRUE(host.dialogs.empty());
  host.AdvanceBy(milliseconds{1});
  EXPECT_EQ(host.dialogs, Dialogs{DialogId::CommFailure});
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(host.outcomes, Outcomes{OperationOutcome::CommunicationFailed});
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(host.output.find("Lines Processed in"), npos);
  host.AdvanceBy(milliseconds{60000});
  EXPECT_EQ(Count(kSecondFrame), 8u);
  // The count of silences carries into the next identification.
  Start("746.ruf", kRecord);
  host.AdvanceBy(milliseconds{5000});
  EXPECT_EQ(host.dialogs.size(), 2u);
  EXPECT_FALSE(engine.operationRunning());
}

TEST_F(Engine, WithoutAnAnswerToTheQuestionTheUserIsToldAndItIsAskedAgain) {
  Start("746.ruf", kRecord);
  host.AdvanceBy(milliseconds{9999});
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "?V\r"}));
  host.AdvanceBy(milliseconds{1});
  EXPECT_EQ(host.dialogs, Dialogs{DialogId::CommFailure});
  EXPECT_EQ(std::count(serial.calls.begin(), serial.calls.end(), "Purge"), 2);
  EXPECT_EQ(Count("?V\r"), 4u);
  Answer("VER 1234 746\r");
  EXPECT_EQ(LastWrite(), "ZZ\r");
  // Any serial answer ends the identification's wait, but only an identifying datagram does.
  EngineRig overUdp;
  overUdp.UseUdp();
  for (EngineRig* rig : {static_cast<EngineRig*>(this), &overUdp}) {
    rig->engine.StopOperation();
    rig->host.dialogs.clear();
    rig->Start("746.ruf", kRecord);
    rig->Answer("hello\r");
    rig->host.AdvanceBy(milliseconds{10000});
    EXPECT_EQ(rig->host.dialogs.size(), rig == this ? 0u : 1u);
  }
}

TEST_F(Engine, WithErrorsIgnoredEveryAnswerAndEverySilenceMovesOn) {
  UseUdp();  // where only the first line ends the wait for an identification
  Start("746.ruf", "#E010203\r\n" + kRecord, {.ignoreErrors = 1});
  EXPECT_NE(host.output.find("*** Detected Command Line Switch to Ignore Radio Responses and Errors ***"), npos);
  Answer("whatever\r");
  EXPECT_EQ(udp.datagrams.back(), Hex("23 45 45 01 02 03 FA 0D"));
  host.AdvanceBy(milliseconds{39999});  // an E frame is given 40 s
  EXPECT_EQ(udp.datagrams.size(), 2u);
  host.AdvanceBy(milliseconds{1});
  EXPECT_EQ(udp.datagrams.back(), Hex("23 45") + kFrame);
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(host.dialogs, Dialogs{DialogId::ProcessingComplete});
  EXPECT_EQ(Trace().find(" R> "), npos);
}

TEST_F(Engine, ABanwickWithExtendedMemoryAsksWhereToStoreTheFileEveryTime) {
  host.personalityAnswer = 2;
  host.duringPersonalityDialog = [this] {  // a repeated answer opens no second dialog
    host.duringPersonalityDialog = nullptr;
    host.AdvanceBy(milliseconds{5000});
    Answer("VER-1234 734\r");
  };
  StartAndIdentify("734.ruf", ":020000021000EC\r\n#E000000\r\n", "VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 1);
  EXPECT_EQ(Count("ZZ\r"), 1u);
  EXPECT_EQ(LastWrite(), Hex("45 02 00 00 FE 0D"));  // no segment: the personality decides
  Answer("E\r");
  StartAndIdentify("734.ruf", kRecord, "VER 1234 734\r");  // no extended memory: no question
  EXPECT_EQ(host.personalityQuestions, 1);
  engine.StopOperation();
  host.personalityAnswer = -1;
  host.status[1] = "";
  Start("734.ruf", kRecord);
  Answer("VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 2);
  EXPECT_EQ(LastWrite(), "P0\r");
  EXPECT_EQ(host.status[1], "");
  EXPECT_EQ(host.outcomes.back(), OperationOutcome::PersonalityCancelled);
  EXPECT_FALSE(serial.open);
  Answer("VER-1234 734\r");  // answers after the end change nothing
  host.AdvanceBy(milliseconds{60000});
  EXPECT_EQ(host.personalityQuestions, 2);
  EXPECT_EQ(LastWrite(), "P0\r");
}

TEST_F(Engine, AModel758IsGivenLongerToStartAndItsStartCommandAgainOnSilence) {
  Start("758.ruf", kRecord, {.ignoreErrors = 5});  // a settings value that keeps the long waits
  Answer("VER 1234 758\r");
  host.AdvanceBy(milliseconds{49999});
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "ZZ\r"}));
  host.AdvanceBy(milliseconds{1});
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "ZZ\r", "ZZ\r"}));
}

TEST_F(Engine, AModel797SwitchesThePortToXonXoffUntilAnotherModelAnswers) {
  Start("746.ruf", kRecord);
  Answer("VER 1234 797\r");
  EXPECT_NE(host.output.find("Model 797 detected - Adjusting for 797 protocol\r\n"), npos);
  EXPECT_EQ(Writes(serial.calls.end() - 5, serial.calls.end() - 1),
            (Writes{"SetLineFormat 57600 8 0 0", "SetFlowControl 2", "SetWriteTimeouts 100 100", "Purge"}));
  StartAndIdentify("712.ruf", "#>A\r\n" + kRecord, "VER 1234\r");
  EXPECT_EQ(Writes(serial.writes.end() - 3, serial.writes.end()), (Writes{"A\r\n", "\r", kFrame}));
}

TEST_F(Engine, ShowsProgressForEveryLineUpToFiftyThenForEveryTenth) {
  std::string file;
  for (int i = 0; i < 75; ++i) file += kRecord;
  StartAndIdentify("746.ruf", file);
  Answer(":00\r");  // a line sent again counts once
  for (int line = 1; line < 60; ++line) Answer(":1E\r");
  EXPECT_EQ(host.status[0], "50 of 75 Lines Processed");
  for (int line = 60; line <= 75; ++line) Answer(":1E\r");
  std::vector<std::pair<int, int>> shown{{0, 75}};
  for (int done = 0; done <= 50; ++done) shown.emplace_back(done, 75);
  shown.insert(shown.end(), {{60, 75}, {70, 75}});
  EXPECT_EQ(host.progress, shown);
}

TEST_F(Engine, TracesEveryExchangeAndHowTheOperationEndedThenClosesEverything) {
  host.nowMs = 1000;
  StartAndIdentify("746.ruf", ":0300300002337A55\r\n:00000001FF\r\n");
  host.nowMs = 4200;
  serial.discardedAtClose = 3;
  Answer(":55\r");
  const std::string traced = Trace();
  for (const char* line :
       {" R> 56 45 52 20 31 32 33 34 20 37 34 36 0D \r\r\n", " R> READY RESPONSE DETECTED\r\n",
        " R< 42 03 00 30 00 02 33 7a 55 0d \r\n",
        " File CheckSum Error Calc Checksum 1E Line Checksum 55\r\n\r\n:0300300002337A55\r\r\n\r\n",
        "[[End of Processing 0 Checksum Errors Encountered. Total time 3 Seconds]]\r\n",
        "[[END OF ACTION FailureFlag=1 Total Errors=0]]\r\n"}) {
    EXPECT_NE(traced.find(line), npos) << line;
  }
  // The port closes before the trace, so the trace tells what the port discarded.
  EXPECT_TRUE(traced.ends_with("[[serial port closed with 3 bytes of output held back by flow "
                               "control; they were discarded]]\r\n")) << traced;
  EXPECT_NE(host.output.find(" End Of Code Processing, Please Standby!\r\n2 Lines Processed in 3 "
                             "Seconds\r\n Close Communications Port\r\n Close File\r\n"), npos);
  EXPECT_FALSE(serial.open);
  EXPECT_TRUE(host.timers.empty());
  StartAndIdentify("746.ruf", kRecord);
  EXPECT_EQ(Trace().find("END OF ACTION"), npos) << "each operation begins its trace anew";
  Answer(":1E\r");
  EXPECT_EQ(host.dialogs, (Dialogs{DialogId::ProgramFailure, DialogId::ProgramSuccess}));
}

TEST_F(Engine, ATraceThatCannotBeWrittenIsToldOnceAndTheOperationGoesOn) {
  CommsTrace otherProgram{host};
  otherProgram.SetPath(dir.File("held.txt"));
  ASSERT_TRUE(otherProgram.Open());
  std::filesystem::create_symlink(dir.Write("notes.txt", "notes\n"), dir.File("link.txt"));
  const std::tuple<const char*, const char*, rlim_t> cases[] = {  // the trace, what is said, its size limit
      {"no-such-dir/comms.txt", "could not be created", RLIM_INFINITY},
      {"held.txt", "is in use by another program", RLIM_INFINITY},
      {"link.txt", "is not a regular file (a symbolic link, a pipe or a device) and is left alone", RLIM_INFINITY},
      {"full.txt", "could not be written (is the disk full?)", 20},  // room for the first line only
  };
  for (const auto& [name, reason, sizeLimit] : cases) {
    host.dialogs.clear();
    trace.SetPath(dir.File(name));
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // EFBIG instead of a signal
    const rlimit limited{std::min(sizeLimit, before.rlim_max), before.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limited);
    StartAndIdentify("746.ruf", kRecord);
    Answer(":1E\r");
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, handler);
    const std::string said = " The trace file " + dir.File(name) + " " + reason + "; the operation goes on";
    EXPECT_NE(host.output.find(said), npos) << host.output;
    EXPECT_EQ(host.output.find(" The trace file ", host.output.find(said) + 1), npos) << host.output;
    EXPECT_EQ(host.dialogs, Dialogs{DialogId::ProgramSuccess}) << name;
  }
  EXPECT_EQ(TempDir::Read(dir.File("notes.txt")), "notes\n");
  EXPECT_EQ(TempDir::Read(dir.File("held.txt")), "Log File Begin\r\n");
}

TEST_F(Engine, OverUdpEachRequestIsOneDatagramOpenedByThePasscode) {
  UseUdp();
  StartAndIdentify("746.ruf", kRecord);
  EXPECT_EQ(udp.boundPort, 50000);
  EXPECT_EQ(udp.connects, Writes{"127.0.0.2:50000"});
  EXPECT_EQ(udp.datagrams, (Writes{Hex("23 45") + "?V\r", Hex("23 45") + "ZZ\r", Hex("23 45") + kFrame}));
  EXPECT_TRUE(serial.writes.empty());
  Answer(std::string(300, 'x') + "READY\r");  // longer than any serial answer
  EXPECT_EQ(host.dialogs, Dialogs{DialogId::ProgramSuccess});
  EXPECT_FALSE(udp.hasSocket);
  // A socket that cannot be created ends the operation; the next one tries again.
  udp.createError = 98;
  Start("746.ruf", kRecord);
  EXPECT_EQ(host.messages.back().first, "Socket Create returned error code 98");
  EXPECT_EQ(host.outcomes.back(), OperationOutcome::LinkNotOpened);
  udp.createError = 0;
  Start("746.ruf", kRecord);
  EXPECT_EQ(udp.creates, 3);
  udp.receiveError = 10035;  // would block: nothing to tell
  engine.OnUdpReadable();
  Answer("");
  EXPECT_EQ(host.messages.size(), 1u);
  udp.receiveError = 111;
  engine.OnUdpReadable();
  EXPECT_EQ(host.messages.back().first, "Windows Socket Error occurred");
  EXPECT_TRUE(engine.operationRunning());
}

TEST_F(Engine, AMissingSerialPortIsToldWithAdviceAndOnlyAScriptStopsAtOnce) {
  serial.availability = PortInUse;
  serial.hint = "Add your user to the group dialout.";
  settings.comPort = "/dev/ttyUSB7";
  Start("746.ruf", kRecord);
  EXPECT_EQ(host.messages, (std::vector<std::pair<std::string, std::string>>{
                               {"That PORT is not available ", "I CAN'T"}}));
  EXPECT_NE(host.output.find(" Serial port /dev/ttyUSB7 (/dev/ttyUSB7) is not available.\r\n"
                             " Add your user to the group dialout.\r\n"), npos);
  host.AdvanceBy(milliseconds{40000});
  EXPECT_EQ(host.outcomes, Outcomes{OperationOutcome::CommunicationFailed});
  host.continueWithoutSerialPort = false;
  Start("746.ruf", kRecord);
  EXPECT_EQ(host.outcomes.back(), OperationOutcome::LinkNotOpened);
  EXPECT_TRUE(host.timers.empty());
}

TEST_F(Engine, AStoppedOperationClosesEverythingAndLaterEventsChangeNothing) {
  StartAndIdentify("746.ruf", kRecord + kRecord);
  Start("746-other.ruf", kRecord, {}, kVerify);  // refused while an operation runs
  EXPECT_EQ(host.status[2], "Program Flash");
  engine.StopOperation();
  EXPECT_FALSE(serial.open || trace.IsOpen());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_EQ(host.outcomes, Outcomes{OperationOutcome::Stopped});
  const Writes writes = serial.writes;
  Answer(":1E\r");
  host.AdvanceBy(milliseconds{60000});
  EXPECT_EQ(serial.writes, writes);
  EXPECT_NE(Trace().find(" R< 42 03 00 30 "), npos);
}

TEST_F(Engine, SaysBeforeSendingWhatTheFileOrAVerifyCannotDo) {
  Start("746.ruf", "S1050000AABB95\r\nS1050000AABB95\r\nS30800001000AABBCCB6\r\n");
  EXPECT_NE(host.output.find(" Warning: 2 lines of this file will not reach the radio as written; "
                             "the first, line 1: S1 record"), npos);
  engine.StopOperation();
  const std::tuple<const char*, std::string, const char*, bool> cases[] = {
      {"746.ruf", "S30800001000AABBCCB6\r\n", "", true},  // S frames carry no mode byte
      {"797.ruf", kRecord, "", false},
      {"797.ruf", kRecord, "VER 1234 797\r", true},  // nor do text lines
      {"746.ruf", kRecord, "VER 1234 746\r", false},
  };
  for (const auto& [name, content, identification, noted] : cases) {
    Start(name, content, {}, kVerify);
    if (*identification) Answer(identification);
    EXPECT_EQ(host.output.find("does not prove") != npos, noted) << name << identification;
    engine.StopOperation();
  }
}

}  // namespace
}  // namespace flash::test
