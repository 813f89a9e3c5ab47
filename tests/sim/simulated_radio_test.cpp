#include "sim/simulated_radio.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/bytes.h"

namespace flash::sim {
namespace {

using test::Bytes;

// The frame the program builds from ":0300300002337A1E" in the given mode.
std::string ExampleRecord(int mode) {
  return Bytes({mode, 0x03, 0x00, 0x30, 0x00, 0x02, 0x33, 0x7A, 0x1E, 0x0D});
}

// A one-byte record frame writing 0x55 at `low`.
std::string Record(std::uint8_t low, std::uint8_t checksum) {
  return Bytes({0x42, 0x01, 0x00, low, 0x00, 0x55, checksum, 0x0D});
}

RadioConfig Config(int model, RadioFaults faults = {}) {
  RadioConfig config;
  config.model = model;
  config.faults = faults;
  return config;
}

struct Conversation {
  const char* radio;
  RadioConfig config;
  std::vector<std::pair<std::string, std::string>> requestsAndAnswers;
};

RadioFaults Faults(int silentFrom, int wrongFirst, int wrongFrom, int garbageEvery,
                   bool noEchoFirstTry = false, int xonXoffEvery = 0) {
  RadioFaults f;
  f.silentFromRequest = silentFrom;
  f.wrongEchoFirst = wrongFirst;
  f.wrongEchoFromRequest = wrongFrom;
  f.garbageEvery = garbageEvery;
  f.noEchoOnFirstTry = noEchoFirstTry;
  f.xonXoffEvery = xonXoffEvery;
  return f;
}

TEST(SimulatedRadio, AnswersEachRequestAsTheModelAndItsFaultsSay) {
  RadioConfig extended = Config(734);
  extended.extendedMemory = true;
  extended.dspNumber = 50;
  RadioConfig namesNoModel = Config(746);
  namesNoModel.reportModelCode = 0;
  const std::string line = ":0300300002337A1E\r";
  const std::vector<Conversation> conversations = {
      {"712", Config(712), {{"?V\r", "VER 1234\r"}, {"ZZ\r", "Z\r"}, {"XX\r", "READY\r"}}},
      {"746",
       Config(746),
       {{"?V\r", "VER 1234 746\r"},
        {"XX\r", "Z\r"},
        {"ZZ\r", "READY\r"},
        {"UNLOCKBOOT\r", ""},
        {"SET BAND 2\r\n", ""},
        {line, ""},  // a text record line is passed through by frame models
        {Bytes({0x45, 0x01, 0x02, 0x03, 0xFA, 0x0D}), "E\r"},
        {Bytes({0x47, 0x01, 0x02, 0x03, 0x04, 0xF6, 0x0D}), "G\r"},
        {Bytes({0x42, 0x01, 0x00, 0x10, 0x00, 0xAA, 0x07, 0x0D}), ":07\r"},  // echo of a wrong sum
        {ExampleRecord(0x42).erase(5, 1), ""}}},                               // a cut frame
      {"734 extended, DSP 50", extended, {{"?V\r", "VER-0050 734\r"}, {"P0\r", ""}}},
      {"746 naming no model", namesNoModel, {{"?V\r", "VER 1234 0\r"}, {"XX\r", "READY\r"}}},
      {"797",
       Config(797),
       {{line, "\x06\r"}, {":0300300002337A1F\r", "\x15\r"}, {":03003000\r", "\x15\r"}}},
      {"silent from 3",
       Config(746, Faults(3, 0, 0, 0)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "READY\r"}, {Record(0, 0xAA), ""}, {"?V\r", ""}}},
      {"first two echoes wrong",
       Config(746, Faults(0, 2, 0, 0)),
       {{"ZZ\r", "READY\r"}, {Record(0, 0xAA), ":55\r"}, {Record(0, 0xAA), ":55\r"},
        {Record(0, 0xAA), ":AA\r"}}},
      {"wrong echoes from 2",
       Config(746, Faults(0, 0, 2, 0)),
       {{Record(0, 0xAA), ":AA\r"}, {Record(1, 0xA9), ":56\r"}, {Record(1, 0xA9), ":56\r"}}},
      {"garbage every 2",
       Config(746, Faults(0, 0, 0, 2)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "~?~\r"}, {Record(0, 0xAA), ":AA\r"},
        {"PASS THROUGH\r", ""}}},  // garbage never replaces silence
      {"no echo on the first try",
       Config(746, Faults(0, 0, 0, 0, true)),
       {{"ZZ\r", "READY\r"}, {Record(0, 0xAA), ""}, {Record(0, 0xAA), ":AA\r"},
        {Record(1, 0xA9), ""}, {Record(1, 0xA9), ":A9\r"}}},
      {"797 with XOFF/XON every 2", Config(797, Faults(0, 0, 0, 0, false, 2)),
       {{line, "\x06\r"}, {line, "\x13\r\x11\r\x06\r"}}},
  };
  for (const Conversation& c : conversations) {
    SimulatedRadio radio(c.config);
    int n = 0;
    for (const auto& [request, answer] : c.requestsAndAnswers) {
      EXPECT_EQ(radio.HandleRequest(request), answer) << c.radio << ", request " << ++n;
    }
  }
}

TEST(SimulatedRadio, ProgramWritesItsMemoryAndVerifyEchoesTheSumOfWhatItHolds) {
  SimulatedRadio radio(Config(746));
  // Erased flash reads 0xFF: 03 + 00 + 30 + 00 + FF + FF + FF = 0x330, two's complement 0xD0.
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":D0\r");
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x99)), ":1E\r");
  EXPECT_TRUE(radio.memory().empty()) << "Verify and Test write nothing";

  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x42)), ":1E\r");
  EXPECT_EQ(radio.memory().size(), 3u);
  EXPECT_EQ(radio.memory().Read(0x0031), 0x33);
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":1E\r");

  radio.memory().Write(0x0031, 0x34);
  // 03 + 00 + 30 + 00 + 02 + 34 + 7A = 0xE3, two's complement 0x1D.
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x56)), ":1D\r");
  EXPECT_EQ(radio.memory().Read(0x0031), 0x34);
}

TEST(SimulatedRadio, ASilentRadioTakesNothingIn) {
  SimulatedRadio radio(Config(746, Faults(1, 0, 0, 0)));
  EXPECT_EQ(radio.HandleRequest(ExampleRecord(0x42)), "");
  EXPECT_TRUE(radio.memory().empty());
}

}  // namespace
}  // namespace flash::sim
