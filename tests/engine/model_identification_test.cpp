#include <gtest/gtest.h>

#include "engine/model_table.h"
#include "tests/support/engine_fixture.h"

namespace flash::test {
namespace {

class ModelIdentification : public EngineFixture {
 protected:
  void Identify(const std::string& fileName, const std::string& answer) {
    Choose(WriteRuf(fileName, ":0300300002337A1E\r\n"));
    engine.RunProgramCommand();
    Answer(answer);
  }
};

TEST_F(ModelIdentification, ARadioWithoutAModelCodeIsTheOstrel712AndGetsXX) {
  Identify("712abc.ruf", "VER 1234\r");
  EXPECT_EQ(host.status[1], "Ostrel 712");
  EXPECT_EQ(LastWrite(), "XX\r");
  EXPECT_FALSE(host.TimerRunning(kIdentificationTimerId));
}

// Until the radio has named its model, no other answer may start the transfer:
// the model check is the one guard against flashing the wrong firmware.
TEST_F(ModelIdentification, NoAnswerButTheIdentificationStartsTheTransfer) {
  Choose(WriteRuf("746.ruf", ":0300300002337A1E\r\n"));
  engine.RunProgramCommand();
  for (const char* answer : {"EH?\r", "E\r", "G\r", "A\r", "READY\r", ":00\r", "DSP\r", "\x06\r"}) {
    SCOPED_TRACE(answer);
    Answer(answer);
    EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r"}));
  }
  EXPECT_NE(TraceText().find("Answer before identification; ignored"), std::string::npos);
  Answer("VER 1234 746\r");
  EXPECT_EQ(LastWrite(), "ZZ\r");
}

struct MismatchCase {
  int reported;
  const char* status;
  const char* message;
};

class ModelMismatch : public ModelIdentification,
                      public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(ModelMismatch, ShowsTheRowsMessageAndSendsNothingMore) {
  const MismatchCase& c = GetParam();
  Identify("100.ruf", c.reported == 0 ? "VER 1234\r" : "VER 1234 " + std::to_string(c.reported) + "\r");
  EXPECT_EQ(host.status[1], c.status);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, c.message);
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r"}));
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::ModelMismatch}));
  // The trace of the refusal is complete on disk when the message is shown.
  EXPECT_NE(TraceText().find(" R< 3f 56 0d "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRow, ModelMismatch,
    ::testing::Values(
        MismatchCase{0, "Ostrel 712", "The selected RUF file is not compatible with the Ostrel"},
        MismatchCase{734, "Banwick 734", "The selected RUF file is not compatible with the Banwick"},
        MismatchCase{746, "Model QV746", "The selected RUF file is not compatible with the Model QV746"},
        MismatchCase{758, "Model 758", "The selected RUF file is not compatible with the Model 758"},
        MismatchCase{763, "QV-763 Reciever", "The selected RUF file is not compatible with the QV-763"},
        MismatchCase{775, "Kestrun V Transceiver",
                     "The selected RUF file is not compatible with the KESTRUN-V"},
        MismatchCase{781, "Fennic 781", "The selected RUF file is not compatible with the Fennic"},
        MismatchCase{784, "Fennic 2 784", "The selected RUF file is not compatible with the Fennic2"},
        MismatchCase{797, "Model 797", "The selected RUF file is not compatible with the Model 797"},
        MismatchCase{729, "Model 729", "The selected RUF file is not compatible with the Model 729"}));

TEST_F(ModelIdentification, EveryListedModelTakesItsOwnFilesAndGetsZZ) {
  // The models of the family, as the user's manual lists them; the text-line
  // models answer a line with ACK.
  for (const int model : {734, 746, 758, 763, 775, 781, 784, 797, 729}) {
    SCOPED_TRACE(model);
    serial.writes.clear();
    host.messages.clear();
    Identify(std::to_string(model) + ".ruf", "VER 1234 " + std::to_string(model) + "\r");
    EXPECT_EQ(LastWrite(), "ZZ\r");
    EXPECT_TRUE(host.messages.empty());
    Answer("READY\r");
    const bool textLines = model == 797 || model == 729;
    EXPECT_EQ(LastWrite(), textLines ? ":0300300002337A1E\r"
                                     : Bytes({0x42, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 0x0D}));
    Answer(textLines ? "\x06\r" : ":1E\r");
    EXPECT_FALSE(engine.operationRunning());
  }
}

TEST_F(ModelIdentification, ModelCode712IsUnlistedShowsTheDspVersionAndSendsNothing) {
  Identify("712.ruf", "VER 0050 712\r");
  EXPECT_EQ(host.status[2], "DSP VERSION 0.050");
  EXPECT_EQ(serial.writes, (std::vector<std::string>{"?V\r"}));
  EXPECT_EQ(host.identified, (std::vector<std::int32_t>{712}));
  EXPECT_TRUE(host.TimerRunning(kResponseTimerId));
  EXPECT_TRUE(host.outcomes.empty()) << "the timers decide, unless the host stops at once";

  engine.StopOperation();
  host.stopOnUnlistedModel = true;
  Identify("712.ruf", "VER 1234 712\r");
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(host.outcomes.back(), OperationOutcome::UnlistedModel);
}

TEST_F(ModelIdentification, AShortAnswerReadsNoNumberAndNeverPastItsEnd) {
  Identify("712.ruf", "VER");
  EXPECT_EQ(host.identified, (std::vector<std::int32_t>{0}));
  EXPECT_EQ(LastWrite(), "XX\r");
}

TEST_F(ModelIdentification, Model797SwitchesThePortToSoftwareFlowControlEvenOnAMismatch) {
  Identify("746.ruf", "VER 1234 797\r");
  EXPECT_NE(host.output.find("Model 797 detected - Adjusting for 797 protocol\r\n"),
            std::string::npos);
  const std::vector<std::string> tail(serial.calls.end() - 5, serial.calls.end() - 1);
  EXPECT_EQ(tail, (std::vector<std::string>{"SetLineFormat 57600 8 0 0", "SetFlowControl 2",
                                            "SetWriteTimeouts 100 100", "Purge"}));
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ModelIdentification, AnAnswerWithoutAModelAfterA797BringsBackTheLineFeeds) {
  Identify("797.ruf", "VER 1234 797\r");
  Answer("READY\r");
  Answer("\x06\r");
  Identify("712.ruf", "VER 1234\r");
  Answer("READY\r");
  EXPECT_EQ(LastWrite()[0], 0x42);
}

TEST_F(ModelIdentification, ABanwickWithExtendedMemoryAsksForThePersonality) {
  host.personalityAnswer = 4;
  Identify("734.ruf", "VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 1);
  EXPECT_EQ(LastWrite(), "ZZ\r");
  EXPECT_EQ(host.status[1], "Banwick 734");
}

TEST_F(ModelIdentification, ACancelledPersonalitySendsP0AndEndsTheOperation) {
  host.personalityAnswer = -1;
  Identify("734.ruf", "VER-1234 734\r");
  EXPECT_EQ(LastWrite(), "P0\r");
  EXPECT_EQ(host.status[1], "");
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_FALSE(serial.open);
  EXPECT_EQ(host.outcomes, (std::vector<OperationOutcome>{OperationOutcome::PersonalityCancelled}));
  Answer("READY\r");
  EXPECT_EQ(LastWrite(), "P0\r");
}

TEST_F(ModelIdentification, ABanwickWithoutExtendedMemoryIsNotAsked) {
  Identify("734.ruf", "VER 1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 0);
  EXPECT_EQ(LastWrite(), "ZZ\r");
}

TEST_F(ModelIdentification, EachOperationAsksForThePersonalityAgain) {
  host.personalityAnswer = 2;
  Identify("734.ruf", "VER-1234 734\r");
  Answer("READY\r");
  Answer(":1E\r");
  Identify("734.ruf", "VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 2);
}

TEST_F(ModelIdentification, ARepeatedAnswerWhileThePersonalityDialogIsOpenOpensNoSecondDialog) {
  host.duringPersonalityDialog = [this] {
    host.duringPersonalityDialog = nullptr;
    host.AdvanceBy(std::chrono::milliseconds{5000});  // a resend of "?V\r"
    Answer("VER-1234 734\r");
  };
  Identify("734.ruf", "VER-1234 734\r");
  EXPECT_EQ(host.personalityQuestions, 1);
  EXPECT_EQ(LastWrite(), "ZZ\r");
}

TEST_F(ModelIdentification, AFileWhoseNameIsNoNumberNeverMatches) {
  Identify("abc.ruf", "VER 1234 746\r");
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ModelIdentification, Model758WaitsLongerAndRepeatsZZOnSilence) {
  // A settings-file value other than 0 and 1 keeps the long periods.
  Choose(WriteRuf("758.ruf", ":0300300002337A1E\r\n"));
  engine.RunProgramCommand({.ignoreErrors = 5});
  Answer("VER 1234 758\r");
  EXPECT_EQ(LastWrite(), "ZZ\r");
  EXPECT_EQ(host.TimerPeriod(kResponseTimerId), std::chrono::milliseconds{50000});
  host.FireNextTimer();
  EXPECT_EQ(LastWrite(), "ZZ\r");
  EXPECT_EQ(serial.writes.size(), 3u);
}

}  // namespace
}  // namespace flash::test
