// The simulated radio as a program on its serial line meets it: the byte stream cut
// into requests, each answered as the model and its faults say, and its memory; then
// the radio-sim program itself for what only the process shows (the tools' own tests
// run it as their radio): its terminal, a UDP radio's port and passcode, its exit status.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/image_comparison.h"
#include "sim/radio_sim_options.h"
#include "sim/request_framer.h"
#include "sim/ruf_image.h"
#include "sim/simulated_radio.h"
#include "tests/support/bytes.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash::sim {
namespace {

using namespace std::chrono_literals;
using test::RadioSim;
using test::TempDir;
using test::Bytes;

// The frame the program builds from ":0300300002337A1E" in the given mode.
std::string Example(int mode) { return Bytes({mode, 3, 0, 0x30, 0, 0x02, 0x33, 0x7A, 0x1E, 13}); }
// A one-byte record frame writing 0x55 at `low`.
std::string Record(int low, int sum) { return Bytes({0x42, 1, 0, low, 0, 0x55, sum, 13}); }
// Frames whose count, address or data bytes are CRs: ":030D0D000D0D0DC2", a segment
// 0D0D, an S3 record, an E and a G frame.
const std::string kRecordWithCrs = Bytes({0x42, 3, 13, 13, 0, 13, 13, 13, 0xC2, 13});
const std::string kFramesWithCrs = Bytes({'A', 2, 0, 0, 2, 13, 13, 0xDF, 13}) + kRecordWithCrs +
                                   Bytes({'S', 6, 13, 13, 13, 13, 13, 0xB9, 13, 'E', 13, 13, 13,
                                          0xD9, 13, 'G', 13, 13, 13, 13, 0xCC, 13});
const std::string kLine = ":0300300002337A1E\r";

RadioConfig Config(int model, RadioFaults faults = {}) {
  RadioConfig config;
  config.model = model;
  config.faults = faults;
  return config;
}

RadioFaults Faults(int silentFrom, int wrongFirst, int wrongFrom, int garbageEvery,
                   bool noEchoOnFirstTry = false, int xonXoffEvery = 0) {
  return {silentFrom, wrongFirst, wrongFrom, garbageEvery, noEchoOnFirstTry, xonXoffEvery, {}};
}

// radio-sim's serial loop: the framer takes each read, then gives up on a partial
// request older than its timeout; the radio answers every request.
struct SerialRadio {
  explicit SerialRadio(const RadioConfig& config) : radio(config) {}
  // The bytes in one read, or in one read per byte; no bytes: the line stays quiet
  // past the partial-request timeout.
  std::string Exchange(const std::string& bytes, bool byteByByte) {
    std::string answers;
    const auto answer = [&](const std::vector<std::string>& requests) {
      for (const std::string& request : requests) answers += radio.HandleRequest(request);
    };
    if (bytes.empty()) answer(framer.Expire(now += 2 * kPartialRequestTimeout));
    const std::size_t step = byteByByte ? 1 : bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += step) {
      answer(framer.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, step, now));
      answer(framer.Expire(now));
    }
    return answers;
  }

  SimulatedRadio radio;
  RequestFramer framer;
  RequestFramer::Clock::time_point now = RequestFramer::Clock::now();
};

TEST(SimulatedRadio, CutsTheSerialStreamIntoRequestsAndAnswersEachAsTheModelAndItsFaultsSay) {
  RadioConfig extended = Config(734), namesNoModel = Config(746);
  extended.extendedMemory = true;
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
        {"UNLOCKBOOT\r#band\r\n" + kLine, ""},  // text lines, a record line among them, pass
        {kFramesWithCrs, ":DF\r:C2\r:B9\rE\rG\r"},
        {"Enable?V\rBurst\r?V\r", "VER 1234 746\r"},  // text lines that begin like frames
        {"Set band 2\r\n\r" + kRecordWithCrs.substr(0, 6), ""},
        {"", ""},  // the text is given up on; the frame begun after it waits for its rest
        {kRecordWithCrs.substr(6), ":C2\r"},
        {std::string(kMaxRequestLength + 1, 'x'), ""},  // noise longer than any request goes
        {"?V\r", "VER 1234 746\r"},
        {Example(0x56), ":D0\r"},  // Verify echoes the sum of what it holds: erased flash
        {Example(0x42), ":1E\r"},
        {Example(0x56), ":1E\r"},
        {Example(0x99), ":1E\r"},
        {Record(0x10, 0x07), ":07\r"}}},  // the echo of a wrong sum
      {"734 extended", extended, {{"?V\r", "VER-1234 734\r"}}},
      {"746 naming no model", namesNoModel, {{"?V\r", "VER 0050 0\r"}, {"XX\r", "READY\r"}}},
      {"797", Config(797),
       {{kLine, "\x06\r"}, {":0300300002337A1F\r", "\x15\r"}, {":030030\r", "\x15\r"}}},
      {"729", Config(729), {{kLine, "\x06\r"}}},
      {"silent from 3", Config(746, Faults(3, 0, 0, 0)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "READY\r"}, {Record(0, 0xAA), ""}, {"?V\r", ""}}},
      {"first two echoes wrong", Config(746, Faults(0, 2, 0, 0)),
       {{Record(0, 0xAA), ":55\r"}, {Record(0, 0xAA), ":55\r"}, {Record(0, 0xAA), ":AA\r"}}},
      {"wrong echoes from 2", Config(746, Faults(0, 0, 2, 0)),
       {{Record(0, 0xAA), ":AA\r"}, {Record(1, 0xA9), ":56\r"}, {Record(1, 0xA9), ":56\r"}}},
      {"garbage every 2, never instead of silence", Config(746, Faults(0, 0, 0, 2)),
       {{"?V\r", "VER 1234 746\r"}, {"ZZ\r", "~?~\r"}, {Record(0, 0xAA), ":AA\r"}, {"PASS\r", ""}}},
      {"no echo on the first try", Config(746, Faults(0, 0, 0, 0, true)),
       {{Record(0, 0xAA), ""}, {Record(0, 0xAA), ":AA\r"}, {Record(1, 0xA9), ""},
        {Record(1, 0xA9), ":A9\r"}}},
      {"797, XOFF and XON every 2", Config(797, Faults(0, 0, 0, 0, false, 2)),
       {{kLine, "\x06\r"}, {kLine, "\x13\r\x11\r\x06\r"}}},
  };
  for (const auto& c : conversations) {
    for (const bool byteByByte : {false, true}) {
      SerialRadio line(c.config);
      int n = 0;
      for (const auto& [bytes, answers] : c.exchanges) {
        EXPECT_EQ(line.Exchange(bytes, byteByByte), answers)
            << c.radio << ", exchange " << ++n << (byteByByte ? ", byte by byte" : "");
      }
    }
  }
}

TEST(SimulatedRadio, HoldsWhatAProgramOfTheFileWritesAtTheFilesAddressesAlsoAbove16MiB) {
  SimulatedRadio radio(Config(746));
  for (const std::string& frame :
       {Bytes({'A', 2, 0, 0, 2, 0x10, 0x00, 0xEC, 13}), Example(0x42),
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

  // radio-sim's --expect and --image-in take the same memory from the RUF file (a UTF-8
  // byte-order mark is passed over, blanks after a checksum too, S1 records are never
  // sent, nothing after S9 is), and its --image-out file gives it back.
  TempDir dir;
  std::string error;
  const MemoryImage fromFile = ImageFromRufFile(
      dir.Write("746.ruf", "\xEF\xBB\xBF:020000021000EC\r\n#VER 2.00\r\n; a comment\r\n"
                           "#E010203\r\n:0300300002337A1E \t\r\n:00000001FF\r\nS00600004844521B\r\n"
                           "S3070001FFFFAABB94\r\nS3070123FFFFCCDD2D\r\nS1050010AABB85\r\n"
                           "S306FE000010EEFD\r\nS9030000FC\r\nS3070001FFFF0000FE\r\n"),
      &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(CompareImages(memory, fromFile).Describe(), "images are equal");
  MemoryImage reloaded;
  ASSERT_TRUE(memory.SaveIntelHex(dir.File("memory.hex"), &error)) << error;
  ASSERT_TRUE(reloaded.LoadIntelHex(dir.File("memory.hex"), &error)) << error;
  EXPECT_EQ(CompareImages(memory, reloaded).Describe(), "images are equal");
}

// A UDP endpoint that cannot be bound is a usage error (status 64), before any radio starts.
TEST(RadioSimOptions, RefusesAUdpEndpointThatIsNoDottedAddressAndPort) {
  for (const auto& [endpoint, error] :
       {std::pair{"127.0.0.9:0", ""},
        std::pair{"1.2.3:49152", "--udp: '1.2.3' is not a dotted IPv4 address"},
        std::pair{"127.0.0.9:65536",
                  "--udp: '127.0.0.9:65536' is not ADDR:PORT with a port from 0 to 65535"}}) {
    EXPECT_EQ(ParseRadioSimOptions({"--udp", endpoint}).error, error) << endpoint;
  }
}

TEST(RadioSimProgram, LetsOneProgramAfterAnotherOpenItsTerminalAndRemovesItsLinkAtExit) {
  TempDir dir;
  const std::string link = dir.File("radio-tty");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", link});
  ASSERT_EQ(radio.endpoint().rfind("/dev/pts/", 0), 0u) << radio.out() << radio.err();
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), radio.endpoint());

  // A terminal opened exclusively stays so after its closing while the radio holds
  // its master, which would keep every user but root out: the radio lifts it.
  int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
  close(fd);
  int exclusive = 1;
  for (const auto end = std::chrono::steady_clock::now() + 2s;
       exclusive != 0 && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(1ms);
    fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    close(fd);
  }
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(radio.Stop(SIGHUP), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(RadioSimProgram, AUdpRadioSharesItsPortTakesOnlyItsPasscodeAndComparesItsMemoryAtExit) {
  TempDir dir;
  const std::string ruf = dir.Write("746.ruf", ":0300300002337A1E\r\n");
  RadioSim radio(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0", "--passcode", "7", "--model", "746",
                                  "--image-in", ruf, "--expect", ruf});
  const int port = radio.udpPort();
  ASSERT_GT(port, 0) << radio.err();
  test::UdpPeer program("0.0.0.0", port, true);  // as Flash Update binds: all addresses, reuse
  program.SendTo("127.0.0.2", port, std::string("\x00\x08?V\r", 5));
  // A Verify of ":0300300002337A1E": the radio already holds these bytes.
  program.SendTo("127.0.0.2", port, Bytes({0, 7, 0x56, 3, 0, 0x30, 0, 2, 0x33, 0x7A, 0x1E, 13}));
  EXPECT_EQ(program.Receive(), ":1E\r");
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
  EXPECT_NE(radio.out().find("radio-sim: the radio's memory equals " + ruf), std::string::npos)
      << radio.out();
}

// What the radio on the terminal at path answers to request: `size` bytes, or what
// came before a silence.
std::string AskOnTerminal(const std::string& path, const std::string& request, std::size_t size) {
  constexpr int kSilenceMs = 2000;  // bounds a failure only
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  std::string answer;
  if (fd < 0 || write(fd, request.data(), request.size()) != ssize_t(request.size())) return "";
  char buffer[64];
  for (pollfd in{fd, POLLIN, 0}; answer.size() < size && poll(&in, 1, kSilenceMs) > 0;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return answer;
}

TEST(RadioSimProgram, APulledCableHangsUpTheTerminalAtItsLineAndRemovesTheLink) {
  TempDir dir;
  const std::string link = dir.File("usb-radio");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", link, "--pull-at", "2"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  std::string seen;
  pollfd in{fd, POLLIN, 0};
  for (int line = 1; line <= 2; ++line) {
    const std::string frame = Example(0x42);
    ASSERT_EQ(write(fd, frame.data(), frame.size()), ssize_t(frame.size()));
    char buffer[64];
    ssize_t n = 1;
    // Line 1 is echoed; line 2 gets the hang-up instead (generous limits bound a failure only).
    while (seen.find('\r') == std::string::npos && poll(&in, 1, 5000) > 0 &&
           (n = read(fd, buffer, sizeof buffer)) > 0) {
      seen.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(seen, line == 1 ? ":1E\r" : "") << line;
    EXPECT_EQ(n <= 0, line == 2);
    seen.clear();
  }
  close(fd);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
  EXPECT_NE(radio.err().find("cable pulled at data line 2"), std::string::npos) << radio.err();
  EXPECT_NE(ParseRadioSimOptions({"--udp", "--pull-at", "3"}).error, "");
}

TEST(RadioSimProgram, SeveralRadiosEachAnswerOnTheirOwnLinkWithTheirOwnOptionsAndMemory) {
  TempDir dir;
  const std::string ruf = dir.Write("746.ruf", kLine + "\n");
  for (const char* k : {"1", "3"}) dir.Write("expect-" + std::string(k) + ".ruf", kLine + "\n");
  dir.Write("expect-2.ruf", ":0300300002337B1D\r\n");
  RadioSim serial(RADIO_SIM_PATH,
                  {"--count", "3", "--link", dir.File("radio-%d"), "--model", "746", "--image-in",
                   ruf, "--expect", dir.File("expect-%d.ruf"), "--radio", "2", "--model", "734",
                   "--extended", "--garbage-every", "2"});
  std::size_t ready = 0;
  for (const std::string k : {"1", "2", "3"}) {
    const std::string link = dir.File("radio-" + k);
    ready = serial.out().find(" radio on ", ready + 1);
    ASSERT_NE(ready, std::string::npos) << serial.out() << serial.err();
    const std::size_t end = serial.out().find('\n', ready);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(),
              serial.out().substr(ready + 10, end - ready - 10));  // its own terminal, in order
    const std::string answers = k == "2" ? "VER-1234 734\r~?~\r" : "VER 1234 746\rREADY\r";
    EXPECT_EQ(AskOnTerminal(link, "?V\rZZ\r", answers.size()), answers) << "radio " << k;
  }
  EXPECT_EQ(serial.Stop(SIGTERM), 3);
  for (const std::string k : {"1", "3"}) {
    EXPECT_NE(serial.out().find("radio-sim: " + dir.File("radio-" + k) +
                                ": the radio's memory equals " + dir.File("expect-" + k + ".ruf")),
              std::string::npos) << serial.out();
  }
  EXPECT_NE(serial.out().find("radio-sim: " + dir.File("radio-2") +
                              ": the radio's memory differs from " + dir.File("expect-2.ruf") +
                              ":\nFailed to verify at address 0x00000032, expected 0x7b and "
                              "found 0x7a"),
            std::string::npos) << serial.out();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.File("radio-2"))));

  // UDP radios take consecutive addresses on the port the first one got.
  RadioSim udp(RADIO_SIM_PATH, {"--count", "2", "--udp", "127.0.0.2:0", "--model", "746",
                                "--radio", "2", "--model", "758"});
  const int port = udp.udpPort();
  ASSERT_GT(port, 0) << udp.err();
  EXPECT_NE(udp.out().find("\nradio-sim: UDP radio on 127.0.0.3:" + std::to_string(port) + "\n"),
            std::string::npos) << udp.out();
  test::UdpPeer program("0.0.0.0", port, true);
  for (const auto& [address, answer] : {std::pair{"127.0.0.2", "VER 1234 746\r"},
                                        std::pair{"127.0.0.3", "VER 1234 758\r"}}) {
    program.SendTo(address, port, std::string("\x00\x07?V\r", 5));
    EXPECT_EQ(program.Receive(), answer) << address;
  }
}

}  // namespace
}  // namespace flash::sim
