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

// Operations as the radio and the user drive them, step by step: an answer of the radio,
// "~text" for bytes without the CR that ends an answer, "+N" for N ms of silence, "stop"
// (the user stops), "verify" (a Verify command meanwhile), "again" (the same command
// anew). Then what the radio received, the dialogs, the outcomes and a text the user saw.
TEST(EngineFlows, EachOperationGoesAsItsAnswersAndSilencesSay) {
  using D = DialogId;
  using O = OperationOutcome;
  const std::string kEnded = ";\r\n" + kRecord + ":00000001FE\r\n";  // no bytes: never checked
  const std::string kWrongSum = ";\r\n:0300300002337A1F\r\n:00000001FE\r\n";
  const std::string kWrongSumFrame = Hex("42 03 00 30 00 02 33 7A 1F 0D");
  const std::string kVerifyFrame = Hex("56 03 00 30 00 02 33 7A 1E 0D");
  const struct {
    void (UpdateEngine::*command)(const OperationOptions&);
    std::int32_t ignoreErrors;
    const char* name;
    std::string content;
    Writes steps, sent;
    Dialogs dialogs;
    Outcomes outcomes;
    const char* said;
    int personality = 0;  // the user's choice for a Banwick with extended memory
  } flows[] = {
      {kProgram, 0, "746.ruf", kEnded, {"VER 1234 746\r", "READY\r", ":1E0\r"},  // two digits count
       {"?V\r", "ZZ\r", kFrame}, {D::ProgramSuccess}, {O::ProgramSucceeded},
       "\r\n2 Lines Processed in 0 Seconds\r\n Close Communications Port\r\n Close File\r\n"},
      {kProgram, 0, "746.ruf", kEnded, {"VER 1234 746\r", "READY\r", ":00\r", ":00\r", ":00\r", ":00\r"},
       {"?V\r", "ZZ\r", kFrame, kFrame, kFrame, kFrame}, {D::ProgramFailure}, {O::ProgramFailed},
       "The update failed: the radio did not echo 1 line correctly after 4 sendings each (the "
       "first is line 2 of the file)\r\n"},
      {kProgram, 0, "746.ruf", kWrongSum, {"VER 1234 746\r", "READY\r", ":1F\r"},
       {"?V\r", "ZZ\r", kWrongSumFrame}, {D::ProgramFailure}, {O::ProgramFailed},
       "The update failed: 1 record of the file has a wrong checksum and was sent as written (the "
       "first is line 2)\r\n"},
      {kProgram, 0, "746.ruf", ";\r\nS30800001000AABBCCB7\r\n", {"VER 1234 746\r", "READY\r", ":B7\r"},
       {"?V\r", "ZZ\r", Hex("53 08 00 00 10 00 AA BB CC B7 0D")}, {D::ProgramFailure},
       {O::ProgramFailed}, "1 record of the file has a wrong checksum and was sent as written"},
      {kVerify, 0, "746.ruf", kEnded, {"VER 1234 746\r", "READY\r", ": 1e\r"},
       {"?V\r", "ZZ\r", kVerifyFrame}, {D::VerifySuccess}, {O::VerifySucceeded}, ""},
      {kVerify, 0, "746.ruf", kEnded, {"VER 1234 746\r", "READY\r", ":00\r", ":00\r", ":00\r", ":00\r"},
       {"?V\r", "ZZ\r", kVerifyFrame, kVerifyFrame, kVerifyFrame, kVerifyFrame}, {D::VerifyFailure},
       {O::VerifyFailed}, "the radio's memory differs from the file in 1 line (the first is line 2"},
      {kProgram, 1, "746.ruf", kWrongSum, {"whatever\r", "+10000"}, {"?V\r", kWrongSumFrame},
       {D::ProcessingComplete}, {O::CompletedUnchecked},
       "*** Detected Command Line Switch to Ignore Radio Responses and Errors ***"},
      {kProgram, 1, "746.ruf", "#E010203\r\n" + kRecord, {"whatever\r", "+39999"},  // 40 s for E
       {"?V\r", Hex("45 01 02 03 FA 0D")}, {}, {}, ""},
      {kTest, 0, "746.ruf", kEnded, {"VER 1234 746\r", "READY\r"},
       {"?V\r", Hex("99 03 00 30 00 02 33 7A 1E 0D")}, {}, {O::EndedWithoutDialog}, ""},
      // Nothing reaches the radio from a file that would not be sent as it was checked.
      {kProgram, 0, "none/746.ruf", "", {}, {}, {}, {O::FileRefused}, "Unable to open file"},
      {kProgram, 0, "746.ruf", kRecord + ":0300300002X37A1E\r\n", {}, {}, {}, {O::FileRefused},
       "breaks the update file format at line 2 (data: 'X' at column 11 is not a hex digit)"},
      {kProgram, 0, "746.ruf", ";nothing here\r\n", {}, {}, {}, {O::FileRefused}, "it holds no records."},
      {kProgram, 0, "./comms.txt", kRecord, {}, {}, {}, {O::FileRefused}, "is the update file itself"},
      // The model check is the one guard against flashing the wrong firmware.
      {kProgram, 0, "746.ruf", kRecord,
       {"EH?\r", "E\r", "G\r", "A\r", "READY\r", ":00\r", "DSP\r", "\x06\r", "+5000", "VER 1234 746\r",
        "+5000"},
       {"?V\r", "?V\r", "ZZ\r", "ZZ\r"}, {}, {}, ""},
      {kProgram, 5, "758.ruf", kRecord, {"VER 1234 758\r", "+50000"}, {"?V\r", "ZZ\r", "ZZ\r"}, {}, {},
       ""},  // a settings value other than 0 and 1 keeps the 50 s a 758 may take to start
      {kProgram, 0, "712.ruf", kRecord, {"VER"}, {"?V\r", "XX\r"}, {}, {}, ""},  // too short: no model
      {kProgram, 0, "712.ruf", kRecord, {"VER 0050 712\r", "+4999"}, {"?V\r"}, {}, {},
       "The radio reports model 712 (DSP VERSION 0.050), which this program does not know"},
      {kProgram, 0, "746.ruf", kRecord + kSecondRecord,
       {"VER 1234 746\r", "READY\r", "+15000", ":1E\r", "+40000", "+60000", "again", "+5000"},
       {"?V\r", "ZZ\r", kFrame, kFrame, kFrame, kFrame, kSecondFrame, kSecondFrame, kSecondFrame,
        kSecondFrame, kSecondFrame, kSecondFrame, kSecondFrame, kSecondFrame, "?V\r"},
       {D::CommFailure, D::CommFailure}, {O::CommunicationFailed, O::CommunicationFailed}, ""},
      // Ten seconds without an identification: the port is emptied and the question asked
      // again; any serial answer ends that wait.
      {kProgram, 0, "746.ruf", kRecord, {"~VE", "+10000", "VER 1234 746\r"},
       {"?V\r", "?V\r", "?V\r", "?V\r", "ZZ\r"}, {D::CommFailure}, {}, ""},
      {kProgram, 0, "746.ruf", kRecord, {"hello\r", "+10000"}, {"?V\r", "?V\r", "?V\r"}, {}, {}, ""},
      // A Banwick with extended memory ('-' after "VER") asks where to store the file.
      {kProgram, 0, "734.ruf", ":020000021000EC\r\n#E000000\r\n", {"VER-1234 734\r", "READY\r", "E\r"},
       {"?V\r", "ZZ\r", Hex("45 02 00 00 FE 0D")}, {D::ProgramSuccess}, {O::ProgramSucceeded}, "", 2},
      {kProgram, 0, "734.ruf", kRecord, {"VER-1234 734\r", "VER-1234 734\r", "+60000"}, {"?V\r", "P0\r"},
       {}, {O::PersonalityCancelled}, "The update was cancelled; nothing of the file was sent", -1},
      {kProgram, 0, "734.ruf", kRecord, {"VER 1234 734\r"}, {"?V\r", "ZZ\r"}, {}, {}, "", -1},
      {kProgram, 0, "746.ruf", kRecord + kRecord,
       {"VER 1234 746\r", "READY\r", "verify", "stop", ":1E\r", "+60000"}, {"?V\r", "ZZ\r", kFrame},
       {}, {O::Stopped}, "The operation was stopped before its end"},
  };
  for (const auto& f : flows) {
    SCOPED_TRACE(f.name + (" " + f.content.substr(0, 30)) + " " + (f.steps.empty() ? "" : f.steps[0]));
    EngineRig rig;
    rig.host.personalityAnswer = f.personality;
    rig.Start(f.name, f.content, {.ignoreErrors = f.ignoreErrors}, f.command);
    for (const std::string& step : f.steps) {
      if (step[0] == '+') {
        rig.host.AdvanceBy(milliseconds{std::stoi(step.substr(1))});
      } else if (step == "stop") {
        rig.engine.StopOperation();
      } else if (step[0] == '~') {
        rig.serial.input += step.substr(1);
      } else if (step == "verify" || step == "again") {
        (rig.engine.*(step == "verify" ? kVerify : f.command))({.ignoreErrors = f.ignoreErrors});
      } else {
        rig.Answer(step);
      }
    }
    EXPECT_EQ(rig.serial.writes, f.sent);
    EXPECT_EQ(rig.host.dialogs, f.dialogs);
    EXPECT_EQ(rig.host.outcomes, f.outcomes);
    std::string seen = rig.host.output;
    for (const auto& message : rig.host.messages) seen += message.first;
    EXPECT_NE(seen.find(f.said), npos) << seen;
    EXPECT_EQ(TempDir::Read(rig.dir.File(f.name)), f.content);
    EXPECT_EQ(rig.host.beeps, std::count(f.dialogs.begin(), f.dialogs.end(), D::CommFailure));
    // Whatever the end, nothing stays open and no timer runs after it.
    EXPECT_EQ(rig.serial.open, rig.engine.operationRunning());
    EXPECT_EQ(rig.host.timers.empty(), !rig.engine.operationRunning());
  }
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
      EXPECT_FALSE(rig.serial.open || rig.engine.operationRunning() || !rig.host.timers.empty());
    }
  }
  EngineRig unlisted;  // a model this program does not know: a script stops at once
  unlisted.host.stopOnUnlistedModel = true;
  unlisted.Start("712.ruf", kRecord);
  unlisted.Answer("VER 1234 712\r");
  EXPECT_EQ(unlisted.host.status[2], "DSP VERSION 1.234");
  EXPECT_EQ(unlisted.host.identified, std::vector<std::int32_t>{712});
  EXPECT_EQ(unlisted.host.outcomes, Outcomes{OperationOutcome::UnlistedModel});
  EXPECT_FALSE(unlisted.serial.open);
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
  EXPECT_EQ(serial.writes.back(), "ZZ\r");
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

TEST_F(Engine, ARepeatedAnswerWhileThePersonalityIsChosenAsksNoSecondTime) {
  host.duringPersonalityDialog = [this] {
    host.duringPersonalityDialog = nullptr;
    host.AdvanceBy(milliseconds{5000});  // "?V\r" again, and again the answer
    Answer("VER-1234 734\r");
  };
  Start("734.ruf", kRecord);
  Answer("VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 1);
  EXPECT_EQ(serial.writes, (Writes{"?V\r", "?V\r", "ZZ\r"}));
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

TEST_F(Engine, OpensThePortTheRadioWayAndTracesEveryExchangeAndTheEnd) {
  host.nowMs = 1000;
  StartAndIdentify("746.ruf", ":0300300002337A55\r\n:00000001FF\r\n");
  EXPECT_EQ(Writes(serial.calls.begin(), serial.calls.begin() + 8),
            (Writes{"CheckPortAvailable /dev/ttyS0", "Open /dev/ttyS0 2048 2048",
                    "SetLineFormat 57600 8 0 0", "SetFlowControl 1", "SetWriteTimeouts 10 10",
                    "SetEventCharacter 13 0", "SetEventMask 130", "Purge"}));
  host.nowMs = 4200;
  serial.discardedAtClose = 3;
  Answer(":55\r");
  const std::string traced = Trace();
  for (const char* line :
       {"Log File Begin\r\n", " R< 3f 56 0d \r\n", " R> 56 45 52 20 31 32 33 34 20 37 34 36 0D \r\r\n",
        " R> READY RESPONSE DETECTED\r\n",
        " R< 42 03 00 30 00 02 33 7a 55 0d \r\n",
        " File CheckSum Error Calc Checksum 1E Line Checksum 55\r\n\r\n:0300300002337A55\r\r\n\r\n",
        "[[End of Processing 0 Checksum Errors Encountered. Total time 3 Seconds]]\r\n",
        "[[END OF ACTION FailureFlag=1 Total Errors=0]]\r\n"}) {
    EXPECT_NE(traced.find(line), npos) << line;
  }
  // The port closes before the trace, so the trace tells what the port discarded.
  EXPECT_TRUE(traced.ends_with("[[serial port closed with 3 bytes of output held back by flow "
                               "control; they were discarded]]\r\n")) << traced;
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
  settings = {.comPort = "COM1", .radioAddress = "127.0.0.2", .radioPort = 50000,
              .radioPasscode = 0x12345, .serialActive = false, .ethernetActive = true};
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
  Answer("hello\r");  // only an identifying datagram ends the wait for one
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(host.dialogs.back(), DialogId::CommFailure);
  udp.receiveError = 10035;  // would block: nothing to tell
  engine.OnUdpReadable();
  Answer("");
  EXPECT_EQ(host.messages.size(), 1u);
  udp.receiveError = 111;
  engine.OnUdpReadable();
  EXPECT_EQ(host.messages.back().first, "Windows Socket Error occurred");
  // In Test mode the first line, not an identification, ends the wait for one.
  engine.StopOperation();
  Start("746.ruf", kRecord + kRecord, {}, kTest);
  Answer("x\r");
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(host.dialogs.size(), 2u);
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

TEST_F(Engine, SaysBeforeSendingWhatTheFileOrAVerifyCannotDo) {
  Start("746.ruf", "S1050000AABB95\r\nS1050000AABB95\r\nS30800001000AABBCCB6\r\n");
  EXPECT_NE(host.output.find(" Warning: 2 lines of this file will not reach the radio as written; "
                             "the first, line 1: S1 record"), npos);
  // S frames and the text lines of models 797 and 729 carry no Verify mode byte.
  const std::tuple<const char*, std::string, const char*, bool> cases[] = {
      {"746.ruf", "S30800001000AABBCCB6\r\n", "", true}, {"797.ruf", kRecord, "", false},
      {"797.ruf", kRecord, "VER 1234 797\r", true}, {"746.ruf", kRecord, "VER 1234 746\r", false}};
  for (const auto& [name, content, identification, noted] : cases) {
    engine.StopOperation();
    Start(name, content, {}, kVerify);
    if (*identification) Answer(identification);
    EXPECT_EQ(host.output.find("does not prove") != npos, noted) << name << identification;
  }
}

}  // namespace
}  // namespace flash::test
