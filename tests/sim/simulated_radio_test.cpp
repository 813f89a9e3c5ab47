// The simulated radio as a program on its serial line meets it: the byte stream cut
// into requests, each answered as the model and its faults say, and its memory.
#include "sim/simulated_radio.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sim/request_framer.h"
#include "sim/ruf_image.h"
#include "sim/wake_timing.h"
#include "tests/support/bytes.h"
#include "tests/support/temp_dir.h"

namespace flash::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Clock = RequestFramer::Clock;

// The frame the program builds from ":0300300002337A1E" in the given mode.
std::string ExampleRecord(int mode) { return Bytes({mode, 3, 0x00, 0x30, 0, 0x02, 0x33, 0x7A, 0x1E, 13}); }
// Frames whose count, address or data bytes are CRs: ":030D0D000D0D0DC2", a segment
// 0D0D, an S3 record, an E and a G frame.
const std::string kRecordWithCrs = Bytes({0x42, 3, 13, 13, 0, 13, 13, 13, 0xC2, 13});
const std::string kSegmentWithCrs = Bytes({'A', 2, 0, 0, 2, 13, 13, 0xDF, 13});
const std::string kS3WithCrs = Bytes({'S', 6, 13, 13, 13, 13, 13, 0xB9, 13});
const std::string kEWithCrs = Bytes({'E', 13, 13, 13, 0xD9, 13});
const std::string kGWithCrs = Bytes({'G', 13, 13, 13, 13, 0xCC, 13});
// A one-byte record frame writing 0x55 at `low`.
std::string Record(int low, int checksum) { return Bytes({0x42, 1, 0, low, 0, 0x55, checksum, 13}); }

RadioConfig Config(int model, RadioFaults faults = {}, bool extended = false) {
  RadioConfig config;
  config.model = model;
  config.faults = faults;
  config.extendedMemory = extended;
  return config;
}

RadioFaults Faults(int silentFrom, int wrongFirst, int wrongFrom, int garbageEvery,
                   bool noEchoFirstTry = false, int xonXoffEvery = 0) {
  return {silentFrom, wrongFirst, wrongFrom, garbageEvery, noEchoFirstTry, xonXoffEvery, {}};
}

// radio-sim's serial loop: each read is fed to the framer, which then gives up on a
// partial request older than its timeout; the radio answers every request.
class SerialRadio {
 public:
  explicit SerialRadio(const RadioConfig& config) : radio(config) {}
  // The bytes in one read, or in one read per byte.
  std::string Exchange(const std::string& bytes, bool byteByByte) {
    std::string answers;
    const auto answer = [&](const std::vector<std::string>& requests) {
      for (const std::string& request : requests) answers += radio.HandleRequest(request);
    };
    if (bytes.empty()) {  // no bytes: the line stays quiet past the partial-request timeout
      now += kPartialRequestTimeout + 1ms;
      answer(framer.Expire(now));
    }
    const std::size_t step = byteByByte ? 1 : bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += step) {
      answer(framer.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, step, now));
      answer(framer.Expire(now));
    }
    return answers;
  }

  RequestFramer framer;
  SimulatedRadio radio;
  Clock::time_point now = Clock::now();
};

TEST(SimulatedRadio, CutsTheSerialStreamIntoRequestsAndAnswersEachAsTheModelAndItsFaultsSay) {
  const std::string line = ":0300300002337A1E\r";
  RadioConfig namesNoModel = Config(746);
  namesNoModel.reportModelCode = 0;
  namesNoModel.dspNumber = 50;
  const struct {
    const char* radio;
    RadioConfig config;
    std::vector<std::pair<std::string, std::string>> exchanges;  // bytes sent, answers
  } conversations[] = {
      {"712", Config(712), {{"?V\r", "VER 1234\r"}, {"ZZ\r", "Z\r"}, {"XX\r", "READY\r"}}},
      {"746",
       Config(746),
       {{"\x13?V\r\x11", "VER 1234 746\r"},  // XOFF and XON between requests are no requests
        {"XX\r", "Z\r"},
        {"ZZ\r", "READY\r"},
        {"UNLOCKBOOT\r#band\r\n" + line, ""},  // a text record line is passed through
        {kSegmentWithCrs + kRecordWithCrs + kS3WithCrs + kEWithCrs + kGWithCrs, ":DF\r:C2\r:B9\rE\rG\r"},
        {"Enable\rBurst\r?V\r", "VER 1234 746\r"},  // text lines that begin with a frame's letter
        {"Set band 2\r\n\r" + kRecordWithCrs.substr(0, 6), ""},
        {"", ""},  // the text given up on; the frame begun after it waits
        {kRecordWithCrs.substr(6), ":C2\r"},
        {std::string(kMaxRequestLength + 1, 'x'), ""},  // noise, dropped once longer than any request
        {"?V\r", "VER 1234 746\r"},
        {ExampleRecord(0x56), ":D0\r"},  // Verify echoes the sum of erased flash
        {ExampleRecord(0x42), ":1E\r"},
        {ExampleRecord(0x56), ":1E\r"},
        {ExampleRecord(0x99), ":1E\r"},
        {Bytes({0x42, 1, 0, 0x10, 0, 0xAA, 0x07, 13}), ":07\r"}}},  // the echo of a wrong sum
      {"734 extended", Config(734, {}, true), {{"?V\r", "VER-1234 734\r"}, {"P0\r", ""}}},
      {"746 naming no model", namesNoModel, {{"?V\r", "VER 0050 0\r"}, {"XX\r", "READY\r"}}},
      {"797", Config(797), {{line, "\x06\r"}, {":0300300002337A1F\r", "\x15\r"}, {":03003000\r", "\x15\r"}}},
      {"729", Config(729), {{line, "\x06\r"}}},
      {"silent from 3",
       Config(746, Faults(3, 0, 0, 0)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "READY\r"}, {Record(0, 0xAA), ""}, {"?V\r", ""}}},
      {"first two echoes wrong",
       Config(746, Faults(0, 2, 0, 0)),
       {{Record(0, 0xAA), ":55\r"}, {Record(0, 0xAA), ":55\r"}, {Record(0, 0xAA), ":AA\r"}}},
      {"wrong echoes from 2",
       Config(746, Faults(0, 0, 2, 0)),
       {{Record(0, 0xAA), ":AA\r"}, {Record(1, 0xA9), ":56\r"}, {Record(1, 0xA9), ":56\r"}}},
      {"garbage every 2",
       Config(746, Faults(0, 0, 0, 2)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "~?~\r"}, {Record(0, 0xAA), ":AA\r"},
        {"PASS THROUGH\r", ""}}},  // garbage never replaces silence
      {"no echo on the first try",
       Config(746, Faults(0, 0, 0, 0, true)),
       {{Record(0, 0xAA), ""}, {Record(0, 0xAA), ":AA\r"}, {Record(1, 0xA9), ""},
        {Record(1, 0xA9), ":A9\r"}}},
      {"797, XOFF and XON every 2", Config(797, Faults(0, 0, 0, 0, false, 2)),
       {{line, "\x06\r"}, {line, "\x13\r\x11\r\x06\r"}}},
  };
  for (const auto& c : conversations) {
    for (const bool byteByByte : {false, true}) {
      SerialRadio radio(c.config);
      int n = 0;
      for (const auto& [bytes, answers] : c.exchanges) {
        EXPECT_EQ(radio.Exchange(bytes, byteByByte), answers)
            << c.radio << ", exchange " << ++n << (byteByByte ? ", byte by byte" : "");
      }
    }
  }
}

TEST(SimulatedRadio, HoldsWhatAProgramOfTheFileWritesAtTheFilesAddressesAlsoAbove16MiB) {
  SimulatedRadio radio(Config(746));
  for (const std::string& frame :
       {Bytes({'A', 2, 0, 0, 2, 0x10, 0x00, 0xEC, 13}), ExampleRecord(0x42),
        Bytes({0x99, 3, 0, 0x40, 0, 0x02, 0x33, 0x7A, 0x0E, 13}),  // Test mode writes nothing
        Bytes({'S', 7, 0x00, 0x01, 0xFF, 0xFF, 0xAA, 0xBB, 0x94, 13}),
        Bytes({'S', 7, 0x01, 0x23, 0xFF, 0xFF, 0xCC, 0xDD, 0x2D, 13}),
        Bytes({'S', 6, 0xFE, 0x00, 0x00, 0x10, 0xEE, 0xFD, 13})}) {
    EXPECT_NE(radio.HandleRequest(frame), "");
  }
  const MemoryImage& memory = radio.memory();
  EXPECT_EQ(memory.size(), 8u);
  for (const auto& [address, value] : {std::pair{0x10031u, 0x33}, std::pair{0x20000u, 0xBB},
                                       std::pair{0x0123FFFFu, 0xCC}, std::pair{0x01240000u, 0xDD},
                                       std::pair{0xFE000010u, 0xEE}}) {
    EXPECT_EQ(memory.Read(address), value) << std::hex << address;
  }

  // radio-sim's --expect and --image-in take the same memory from the RUF file, and
  // its --image-out file gives it back.
  test::TempDir dir;
  std::string error;
  const MemoryImage fromFile = ImageFromRufFile(
      dir.Write("746.ruf",
                "#VER 2.00\r\n; a comment\r\n#E010203\r\n:020000021000EC\r\n:0300300002337A1E\r\n"
                ":00000001FF\r\nS00600004844521B\r\nS3070001FFFFAABB94\r\nS3070123FFFFCCDD2D\r\n"
                "S1050010AABB85\r\nS306FE000010EEFD\r\nS9030000FC\r\nS3070001FFFF0000FE\r\n"),
      &error);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(fromFile == memory);
  MemoryImage reloaded;
  ASSERT_TRUE(memory.SaveIntelHex(dir.File("memory.hex"), &error)) << error;
  ASSERT_TRUE(reloaded.LoadIntelHex(dir.File("memory.hex"), &error)) << error;
  EXPECT_TRUE(reloaded == memory);
  EXPECT_EQ(reloaded.size(), 8u);
}

TEST(WakeTiming, SleepsUntilShortlyBeforeTheNextAnswerIsDueAndASecondWhenNoneIs) {
  const Clock::time_point now = Clock::now();
  const auto nanoseconds = [now](std::optional<Clock::time_point> wake) {
    const timespec t = PollTimeoutUntil(wake, now);
    return t.tv_sec * 1'000'000'000L + t.tv_nsec;
  };
  EXPECT_EQ(nanoseconds(std::nullopt), 1'000'000'000L);
  EXPECT_EQ(nanoseconds(now + 4687ms), std::chrono::nanoseconds(4687ms - kWakeEarly).count());
  EXPECT_EQ(nanoseconds(now + kWakeEarly + 1us), 1000);
  EXPECT_EQ(nanoseconds(now + kWakeEarly), 0);
  EXPECT_EQ(nanoseconds(now - 10us), 0);
}

}  // namespace
}  // namespace flash::sim
