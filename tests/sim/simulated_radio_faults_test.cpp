#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/simulated_radio.h"
#include "tests/support/bytes.h"

namespace flash::sim {
namespace {

using test::Bytes;

std::string Record(std::uint8_t low, std::uint8_t checksum) {
  return Bytes({0x42, 0x01, 0x00, low, 0x00, 0x55, checksum, 0x0D});
}

SimulatedRadio RadioWith(RadioFaults faults, int model = 746) {
  RadioConfig config;
  config.model = model;
  config.faults = faults;
  return SimulatedRadio(config);
}

TEST(SimulatedRadioFaults, SilentFromRequestKAnswersNothingFromThereOn) {
  RadioFaults faults;
  faults.silentFromRequest = 3;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 746\r");
  EXPECT_EQ(radio.HandleRequest("ZZ\r"), "READY\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), "");
  EXPECT_EQ(radio.HandleRequest("?V\r"), "");
  // A silent radio takes nothing in.
  EXPECT_TRUE(radio.memory().empty());
  EXPECT_EQ(radio.log()[2].note, "silent (fault: silent from request 3)");
}

TEST(SimulatedRadioFaults, TheFirstNEchoesAreWrongAndLaterOnesRight) {
  RadioFaults faults;
  faults.wrongEchoFirst = 2;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest("ZZ\r"), "READY\r");  // not an echo: not counted
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":55\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":55\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":AA\r");
  EXPECT_EQ(radio.memory().Read(0), 0x55);
}

TEST(SimulatedRadioFaults, EveryEchoFromRequestKOnIsWrong) {
  RadioFaults faults;
  faults.wrongEchoFromRequest = 2;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":AA\r");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(radio.HandleRequest(Record(0x01, 0xA9)), ":56\r");
}

TEST(SimulatedRadioFaults, EveryKthAnswerIsGarbage) {
  RadioFaults faults;
  faults.garbageEvery = 2;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest("?V\r"), "VER 1234 746\r");
  EXPECT_EQ(radio.HandleRequest("ZZ\r"), "~?~\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":AA\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x01, 0xA9)), "~?~\r");
}

TEST(SimulatedRadioFaults, GarbageNeverReplacesSilence) {
  RadioFaults faults;
  faults.garbageEvery = 1;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest("PASS THROUGH\r"), "");
}

TEST(SimulatedRadioFaults, NoEchoOnTheFirstTryAnswersOnlyTheResend) {
  RadioFaults faults;
  faults.noEchoOnFirstTry = true;
  SimulatedRadio radio = RadioWith(faults);
  EXPECT_EQ(radio.HandleRequest("ZZ\r"), "READY\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), "");
  EXPECT_TRUE(radio.memory().empty());
  EXPECT_EQ(radio.HandleRequest(Record(0x00, 0xAA)), ":AA\r");
  EXPECT_EQ(radio.HandleRequest(Record(0x01, 0xA9)), "");
  EXPECT_EQ(radio.HandleRequest(Record(0x01, 0xA9)), ":A9\r");
  EXPECT_EQ(radio.memory().size(), 2u);
}

TEST(SimulatedRadioFaults, Model797SendsXoffAndXonAsAnswersOfTheirOwnBeforeTheAck) {
  RadioFaults faults;
  faults.xonXoffEvery = 2;
  SimulatedRadio radio = RadioWith(faults, 797);
  const std::string line = ":0300300002337A1E\r";
  const auto* data = reinterpret_cast<const std::uint8_t*>(line.data());
  EXPECT_EQ(radio.HandleRequestAnswers(data, line.size()), std::vector<std::string>{"\x06\r"});
  EXPECT_EQ(radio.HandleRequestAnswers(data, line.size()),
            (std::vector<std::string>{"\x13\r", "\x11\r", "\x06\r"}));
  EXPECT_EQ(radio.HandleRequest(line), "\x06\r");
  EXPECT_EQ(radio.HandleRequest(line), "\x13\r\x11\r\x06\r");
}

}  // namespace
}  // namespace flash::sim
