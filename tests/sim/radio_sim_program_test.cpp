// Runs the radio-sim program itself on a pseudo-terminal and on loopback UDP.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "sim/memory_image.h"
#include "sim/ruf_writer.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash::sim {
namespace {

using test::ChildProcess;
using test::RadioSim;
using test::TempDir;
using test::UdpPeer;
using namespace std::chrono_literals;

constexpr auto kExitTimeout = 5s;    // the program ends at once when it is not ready to answer
constexpr auto kAnswerTimeout = 2s;  // an answer comes at once; this only bounds a failure

// Reads from fd until `done` says the bytes are complete or the time runs out.
template <typename Done>
std::string ReadUntil(int fd, std::chrono::milliseconds timeout, Done done) {
  std::string bytes;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done(bytes)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[512];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

int OpenRawTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return fd;
  termios t {};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

std::string Exchange(int fd, const std::string& request) {
  EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  return ReadUntil(fd, kAnswerTimeout,
                   [](const std::string& s) { return !s.empty() && s.back() == '\r'; });
}

TEST(RadioSimProgram, AnswersTheIdentificationRequestOnItsPseudoTerminal) {
  TempDir dir;
  const std::string link = dir.File("radio-tty");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", link});
  const std::string path = radio.endpoint();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << radio.out() << radio.err();
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

  const int fd = OpenRawTerminal(link);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "?V\r"), "VER 1234 746\r");
  close(fd);

  EXPECT_EQ(radio.Stop(SIGINT), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(RadioSimProgram, LiftsTheExclusiveModeThatAClosedPortLeavesBehind) {
  // A pseudo-terminal keeps TIOCEXCL after its last closing while its master lives,
  // which would keep every user but root from opening the radio a second time.
  RadioSim radio(RADIO_SIM_PATH, {});
  const std::string path = radio.endpoint();
  ASSERT_FALSE(path.empty()) << radio.err();
  const int first = OpenRawTerminal(path);
  ASSERT_GE(first, 0);
  ASSERT_EQ(ioctl(first, TIOCEXCL), 0);
  close(first);

  int exclusive = 1;
  const auto end = std::chrono::steady_clock::now() + kAnswerTimeout;
  while (exclusive != 0 && std::chrono::steady_clock::now() < end) {
    const int again = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(again, 0);
    ASSERT_EQ(ioctl(again, TIOCGEXCL, &exclusive), 0);
    close(again);
    if (exclusive != 0) usleep(1000);
  }
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
}

TEST(RadioSimProgram, ProgramsFramesHoldingCrBytesAndWritesItsMemoryAtSigterm) {
  TempDir dir;
  const std::string imageOut = dir.File("memory.hex");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "781", "--image-out", imageOut});
  const std::string path = radio.endpoint();
  ASSERT_FALSE(path.empty()) << radio.err();
  const int fd = OpenRawTerminal(path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, "ZZ\r"), "READY\r");
  // ":030D0D000D0D0DC2" in Program mode, written in one go.
  const std::string frame = {0x42, 0x03, 0x0D, 0x0D, 0x00, 0x0D, 0x0D, 0x0D,
                             static_cast<char>(0xC2), 0x0D};
  EXPECT_EQ(Exchange(fd, frame), ":C2\r");
  close(fd);
  EXPECT_EQ(radio.Stop(SIGTERM), 0);

  MemoryImage image;
  std::string error;
  ASSERT_TRUE(image.LoadIntelHex(imageOut, &error)) << error;
  EXPECT_EQ(image.size(), 3u);
  EXPECT_EQ(image.Read(0x0D0D), 0x0D);
  EXPECT_EQ(image.Read(0x0D0F), 0x0D);
}

// The program run without the ready line's wait, for a command line it refuses or --help.
test::ChildOptions Program(const std::vector<std::string>& arguments) {
  test::ChildOptions options;
  options.argv.push_back(RADIO_SIM_PATH);
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  return options;
}

TEST(RadioSimProgram, UdpRadioAnswersTheSenderAndIgnoresAWrongPasscode) {
  RadioSim radio(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0", "--passcode", "7", "--model", "746"});
  const std::string endpoint = radio.endpoint();
  const int port = radio.udpPort();
  ASSERT_GT(port, 0) << endpoint << radio.err();
  UdpPeer client("127.0.0.1");
  ASSERT_TRUE(client.bound());
  client.SendTo("127.0.0.2", port, std::string("\x00\x08?V\r", 5));
  client.SendTo("127.0.0.2", port, std::string("\x00\x07ZZ\r", 5));
  EXPECT_EQ(client.Receive(), "READY\r");
  client.SendTo("127.0.0.2", port, std::string("\x00\x07?V\r", 5));
  EXPECT_EQ(client.Receive(), "VER 1234 746\r");
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
}

TEST(RadioSimProgram, UdpRadioSharesItsPortWithASocketBoundOnAllAddresses) {
  // The program binds the radio's port number on all addresses and connects to the
  // radio; with address reuse on both sockets the two live side by side.
  RadioSim radio(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0"});
  const int port = radio.udpPort();
  ASSERT_GT(port, 0) << radio.err();
  UdpPeer program("0.0.0.0", port, /*reuse=*/true);
  ASSERT_TRUE(program.bound());
  program.Connect("127.0.0.2", port);
  program.Send(std::string("\x00\x07?V\r", 5));
  EXPECT_EQ(program.Receive(), "VER 1234\r");
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
}

TEST(RadioSimProgram, StartsWithTheMemoryOfARufFileAndSaysAtExitWhetherItEqualsTheExpectedOne) {
  TempDir dir;
  MemoryImage image;
  const std::uint8_t data[3] = {0x02, 0x33, 0x7A};
  image.Write(0x0030, data, 3);
  const std::string ruf = dir.File("746image.ruf");
  ASSERT_TRUE(WriteRufFile(ruf, image));
  {
    RadioSim radio(RADIO_SIM_PATH,
                   {"--udp", "127.0.0.2:0", "--model", "746", "--image-in", ruf, "--expect", ruf});
    const int port = radio.udpPort();
    ASSERT_GT(port, 0) << radio.err();
    UdpPeer client("127.0.0.1");
    // ":0300300002337A1E" in Verify mode: the radio already holds these bytes.
    client.SendTo("127.0.0.2", port,
                  std::string("\x00\x07\x56\x03\x00\x30\x00\x02\x33\x7A\x1E\x0D", 12));
    EXPECT_EQ(client.Receive(), ":1E\r");
    EXPECT_EQ(radio.Stop(SIGTERM), 0);
    EXPECT_NE(radio.out().find("the radio's memory equals"), std::string::npos) << radio.out();
  }
  RadioSim empty(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0", "--expect", ruf});
  ASSERT_GT(empty.udpPort(), 0) << empty.err();
  EXPECT_EQ(empty.Stop(SIGTERM), 3);
  EXPECT_NE(empty.out().find("Failed to verify at address 0x00000030, expected 0x02 and found 0xff"),
            std::string::npos)
      << empty.out();
}

TEST(RadioSimProgram, HelpExplainsEveryOption) {
  ChildProcess radio(Program({"--help", "--passcode", "7"}));
  EXPECT_EQ(radio.Wait(kExitTimeout), 0);
  const std::string help = radio.out();
  for (const char* option :
       {"--link", "--udp", "--passcode", "--model", "--dsp", "--extended", "--report-model",
        "--image-in", "--image-out", "--expect", "--delay-ms", "--wire-paced", "--silent-from",
        "--wrong-echo", "--wrong-echo-from", "--garbage-every", "--no-echo-first-try",
        "--xon-xoff", "--verbose", "--help"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

TEST(RadioSimProgram, RefusesWhatCannotWorkWithAClearMessageBeforeItIsReady) {
  TempDir dir;
  const std::string image = dir.Write("bad.hex", ":01000000zzEE\r\n");
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{"--modle", "746"}, 64, "unknown option '--modle'"},
      {{"--dsp", "12x"}, 64, "--dsp: '12x' is not a whole number from 0 to 9999"},
      {{"--udp", "127.0.0.2:70000"}, 64,
       "--udp: '127.0.0.2:70000' is not ADDR:PORT with a port from 0 to 65535"},
      {{"--udp", "--link", "x"}, 64, "--link names a pseudo-terminal; it cannot go with --udp"},
      {{"--passcode", "7"}, 64, "--passcode applies to a UDP radio; add --udp"},
      {{"--xon-xoff"}, 64, "--xon-xoff needs --model 797 (or 729)"},
      {{"--image-in", image}, 1, "bad.hex line 1"},
  };
  for (const auto& [arguments, status, message] : cases) {
    ChildProcess radio(Program(arguments));
    EXPECT_EQ(radio.Wait(kExitTimeout), status) << arguments[0];
    EXPECT_NE(radio.err().find(message), std::string::npos) << radio.err();
  }
}

}  // namespace
}  // namespace flash::sim
