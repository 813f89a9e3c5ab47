// Runs the radio-sim program itself, for what only the process shows: its ready
// line and link, its terminal left usable by the next program, the passcode of its
// UDP socket, its exit statuses and the memory files it reads and writes.
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
#include <thread>
#include <vector>

#include "sim/memory_image.h"
#include "tests/support/bytes.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash::sim {
namespace {

using namespace std::chrono_literals;
using test::RadioSim;
using test::TempDir;

// The answer to a request written on the terminal: the bytes up to a CR.
std::string Exchange(int fd, const std::string& request) {
  EXPECT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::string answer;
  char byte = 0;
  for (pollfd p{fd, POLLIN, 0}; (answer.empty() || answer.back() != '\r') && poll(&p, 1, 2000) > 0 &&
                                read(fd, &byte, 1) == 1;) {
    answer += byte;
  }
  return answer;
}

int OpenRawTerminal(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  termios t {};
  if (fd >= 0 && tcgetattr(fd, &t) == 0) {
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  return fd;
}

TEST(RadioSimProgram, ServesItsTerminalThroughItsLinkToOneProgramAfterAnotherAndSavesItsMemory) {
  TempDir dir;
  const std::string link = dir.File("radio-tty");
  const std::string imageOut = dir.File("memory.hex");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "781", "--link", link, "--image-out", imageOut});
  ASSERT_EQ(radio.endpoint().rfind("/dev/pts/", 0), 0u) << radio.out() << radio.err();
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), radio.endpoint());

  // A port opened exclusively stays so after its closing while the radio holds the
  // master, which would keep every user but root out: the radio lifts it.
  int fd = OpenRawTerminal(link);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
  EXPECT_EQ(Exchange(fd, "?V\r"), "VER 1234 781\r");
  close(fd);
  int exclusive = 1;
  for (const auto end = std::chrono::steady_clock::now() + 2s;
       exclusive != 0 && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(1ms);
    fd = OpenRawTerminal(link);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
    if (exclusive != 0) close(fd);
  }
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(Exchange(fd, "ZZ\r"), "READY\r");
  EXPECT_EQ(Exchange(fd, test::Bytes({0x42, 3, 13, 13, 0, 13, 13, 13, 0xC2, 13})), ":C2\r");
  close(fd);

  EXPECT_EQ(radio.Stop(SIGTERM), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  MemoryImage image;
  std::string error;
  ASSERT_TRUE(image.LoadIntelHex(imageOut, &error)) << error;
  EXPECT_EQ(image.size(), 3u);
  EXPECT_EQ(image.Read(0x0D0F), 0x0D);
}

TEST(RadioSimProgram, AUdpRadioSharesItsPortTakesItsPasscodeOnlyAndComparesItsMemoryAtExit) {
  TempDir dir;
  const std::string ruf = dir.Write("746.ruf", ":0300300002337A1E\r\n");
  RadioSim radio(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0", "--passcode", "7", "--model", "746",
                                  "--image-in", ruf, "--expect", ruf});
  const int port = radio.udpPort();
  ASSERT_GT(port, 0) << radio.err();
  // As Flash Update does: the radio's port number on all addresses, with address reuse.
  test::UdpPeer program("0.0.0.0", port, true);
  ASSERT_TRUE(program.bound());
  program.Connect("127.0.0.2", port);
  program.Send(std::string("\x00\x08?V\r", 5));
  // A Verify of ":0300300002337A1E": the radio already holds these bytes.
  program.Send(test::Bytes({0, 7, 0x56, 3, 0x00, 0x30, 0, 0x02, 0x33, 0x7A, 0x1E, 13}));
  EXPECT_EQ(program.Receive(), ":1E\r");
  EXPECT_EQ(radio.Stop(SIGTERM), 0);
  EXPECT_NE(radio.out().find("radio-sim: the radio's memory equals " + ruf), std::string::npos)
      << radio.out();

  RadioSim erased(RADIO_SIM_PATH, {"--udp", "127.0.0.2:0", "--expect", ruf});
  ASSERT_GT(erased.udpPort(), 0) << erased.err();
  EXPECT_EQ(erased.Stop(SIGTERM), 3);
  EXPECT_NE(erased.out().find("Failed to verify at address 0x00000030, expected 0x02 and found 0xff"),
            std::string::npos)
      << erased.out();
}

TEST(RadioSimProgram, RefusesWhatCannotWorkWithAClearMessageBeforeItIsReady) {
  TempDir dir;
  const std::string image = dir.Write("bad.hex", ":01000000zzEE\r\n");
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  } cases[] = {
      {{"--modle", "746"}, 2, "radio-sim: unknown option '--modle'\nTry 'radio-sim --help'.\n"},
      {{"--passcode", "7"}, 2, "--passcode applies to a UDP radio; add --udp"},
      {{"--image-in", image}, 1, "cannot load the memory image " + image + ": " + image + " line 1"},
  };
  for (const auto& c : cases) {
    test::ChildOptions options;
    options.argv = {RADIO_SIM_PATH};
    options.argv.insert(options.argv.end(), c.arguments.begin(), c.arguments.end());
    test::ChildProcess process(options);
    EXPECT_EQ(process.Wait(5s), c.status) << c.arguments[0];
    EXPECT_NE(process.err().find(c.message), std::string::npos) << process.err();
  }
}

}  // namespace
}  // namespace flash::sim
