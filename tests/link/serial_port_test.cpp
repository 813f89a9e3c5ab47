// The serial port on a pseudo-terminal whose master the test plays as the radio.
#include "link/serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "link/serial_output_drain.h"
#include "link/serial_permission_hint.h"
#include "link/serial_termios.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kEventLimit = 2s;     // bounds a failure; a passing test never waits this long
constexpr auto kQuietPeriod = 50ms;  // how long to watch for events that must not come

// A pseudo-terminal pair: the port under test opens the slave by its name; the test
// plays the radio on the master.
class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    slaveName_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // The radio's side hangs up, as an unplugged adapter does.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  bool ok() const { return master_ >= 0; }
  const std::string& slaveName() const { return slaveName_; }
  int slave() const { return slave_; }  // its termios are the port's

  void RadioSends(const std::string& bytes) const {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
      sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
  }
  // What the port sent, once count bytes came or the time ran out.
  std::string RadioReceives(std::size_t count) const {
    std::string got;
    char chunk[4096];
    for (const auto end = Clock::now() + kEventLimit; got.size() < count && Clock::now() < end;) {
      pollfd input{master_, POLLIN, 0};
      const ssize_t n = ::poll(&input, 1, 10) > 0 ? ::read(master_, chunk, sizeof chunk) : 0;
      got.append(chunk, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return got;
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string slaveName_;
};

// Moves the port's input as a front end's event loop does, until it brings events
// for the engine or the device is gone; nothing when the time runs out first.
SerialPort::Input NextEvents(SerialPort& port, std::chrono::milliseconds limit) {
  for (const auto deadline = Clock::now() + limit; Clock::now() < deadline;) {
    pollfd input{port.InputFd(), POLLIN, 0};
    if (::poll(&input, 1, 5) <= 0) continue;
    const SerialPort::Input got = port.ServiceInput();
    if (got.events != 0 || got.deviceGone) return got;
  }
  return {};
}

// One Read of at most size bytes into a buffer one byte longer, which it must not touch.
std::string ReadUpTo(SerialPort& port, std::size_t size) {
  std::string buffer(size + 1, '#');
  std::size_t count = 9999;
  EXPECT_EQ(port.Read(reinterpret_cast<std::uint8_t*>(buffer.data()), size, &count), kLinkOk);
  EXPECT_EQ(buffer[size], '#') << "a read past the size asked";
  return buffer.substr(0, std::min(count, size + 1));
}

LinkResult Write(SerialPort& port, const std::string& bytes) {
  return port.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), nullptr);
}

// The port as the update engine opens it: 57600 8N1, hardware flow control, CR as
// the event character, only CR and line errors reported.
class OpenedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    ASSERT_EQ(port_.CheckPortAvailable(pty_.slaveName()), PortAvailable);
    ASSERT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), kLinkOk);
    EXPECT_EQ(port_.SetLineFormat(57600, 8, 0, 0), kLinkOk);
    EXPECT_EQ(port_.SetFlowControl(FlowHardware), kLinkOk);
    port_.SetWriteTimeouts(10, 10);
    EXPECT_EQ(port_.SetEventCharacter(13, false), kLinkOk);
    EXPECT_EQ(port_.SetEventMask(kEventFlagChar | kEventLineError), kLinkOk);
    port_.Purge();
  }

  PtyPair pty_;
  SerialPort port_;
};

TEST_F(OpenedPort, IsRawAt57600AndPassesEveryByteBothWaysUnderEitherFlowControl) {
  std::string all(256, '\0');
  std::iota(all.begin(), all.end(), '\0');
  for (const int flow : {FlowHardware, FlowSoftware}) {
    ASSERT_EQ(port_.SetFlowControl(flow), kLinkOk);
    termios t {};
    ASSERT_EQ(::tcgetattr(pty_.slave(), &t), 0);
    EXPECT_EQ(::cfgetispeed(&t) + ::cfgetospeed(&t), 2u * B57600);
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, flow == FlowHardware);
    // XON/XOFF pace only the radio's output: the radio's own 0x11 and 0x13 are data.
    EXPECT_EQ(t.c_iflag & (IXON | IXANY | IXOFF), flow == FlowSoftware ? IXOFF : 0u) << flow;

    pty_.RadioSends(all);
    std::string got;
    for (const auto end = Clock::now() + kEventLimit; got.size() < 256 && Clock::now() < end;) {
      NextEvents(port_, 10ms);  // the bytes after the CR bring no event
      got += ReadUpTo(port_, 4096);
    }
    EXPECT_EQ(got, all) << flow;
    EXPECT_EQ(Write(port_, all), kLinkOk) << flow;
    EXPECT_EQ(pty_.RadioReceives(all.size()), all) << flow;
  }
}

TEST(LineFormat, IsEightBitsNoParityAndTheReceiverOnWhichAPseudoTerminalForcesAnyway) {
  termios t {};
  t.c_cflag = CS7 | PARENB | PARODD | CSTOPB;
  ASSERT_TRUE(ApplyLineFormat(t, 57600, 8, 0, 0));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CREAD | CLOCAL),
            static_cast<tcflag_t>(CS8 | CREAD | CLOCAL));
}

TEST_F(OpenedPort, AnAnswerGivesOneEventWhenItsCrArrives) {
  pty_.RadioSends("VER 1234");
  EXPECT_EQ(NextEvents(port_, kQuietPeriod).events, 0u) << "no event before the CR";
  pty_.RadioSends(" 746\r:4");  // the CR need not be the last byte that came
  const SerialPort::Input input = NextEvents(port_, kEventLimit);
  EXPECT_EQ(input.events, kEventFlagChar);
  EXPECT_EQ(input.errors, 0u);
  EXPECT_EQ(NextEvents(port_, kQuietPeriod).events, 0u) << "one event for one answer";
  EXPECT_EQ(ReadUpTo(port_, 128), "VER 1234 746\r:4");
}

TEST_F(OpenedPort, ReadsAtMostTheSizeAskedKeepsWhatFitsItsQueueInOrderAndPurgesTheRest) {
  std::string answer;
  for (int i = 0; i < 199; ++i) answer += static_cast<char>('A' + i % 26);
  pty_.RadioSends(answer + "\r");
  ASSERT_EQ(NextEvents(port_, kEventLimit).events, kEventFlagChar);
  EXPECT_EQ(ReadUpTo(port_, 128), answer.substr(0, 128));
  EXPECT_EQ(ReadUpTo(port_, 128), answer.substr(128) + "\r");
  // More than the driver's line buffer holds waits in the device, none of it moved.
  pty_.RadioSends(std::string(6000, 'S') + "\r");
  std::this_thread::sleep_for(kQuietPeriod);
  port_.Purge();
  pty_.RadioSends(":42\r");
  EXPECT_EQ(NextEvents(port_, kEventLimit).events, kEventFlagChar);
  EXPECT_EQ(ReadUpTo(port_, 4096), ":42\r");

  // A queue of 16 bytes, read partly before more comes: the rest is lost as an overrun.
  port_.Close();
  ASSERT_EQ(port_.Open(pty_.slaveName(), 16, 16), kLinkOk);
  pty_.RadioSends("0123456789");
  EXPECT_EQ(NextEvents(port_, kEventLimit).events, kEventCharArrived);
  EXPECT_EQ(ReadUpTo(port_, 6), "012345");
  pty_.RadioSends("abcdefghijklmnopqrstuvwxyz");
  const SerialPort::Input full = NextEvents(port_, kEventLimit);
  EXPECT_EQ(full.events, kEventCharArrived | kEventLineError);
  EXPECT_EQ(full.errors, kLineErrorOverrun);
  EXPECT_EQ(ReadUpTo(port_, 1), "6");
  EXPECT_EQ(ReadUpTo(port_, 64), "789abcdefghijkl");
}

TEST_F(OpenedPort, IsHeldExclusivelyAndTellsItsListenerUntilTheDeviceVanishes) {
  std::vector<int> told;
  port_.SetInputFdListener([&](int fd) {
    told.push_back(fd);
    EXPECT_TRUE(fd >= 0 || port_.IsOpen()) << "a loop stops watching before the close";
  });
  int exclusive = 0;
  ASSERT_EQ(::ioctl(pty_.slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1) << "also programs that take no lock are refused";
  EXPECT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), (LinkResult{LinkStatus::Busy, 0}));
  SerialPort second;
  EXPECT_EQ(second.CheckPortAvailable(pty_.slaveName()), PortInUse);
  EXPECT_EQ(second.Open(pty_.slaveName(), 2048, 2048), (LinkResult{LinkStatus::Busy, EBUSY}));
  EXPECT_EQ(second.CheckPortAvailable("/dev/ttyNoSuchPort7"), PortNotPresent);
  EXPECT_EQ(second.Open("/dev/null", 2048, 2048), LinkResultOf(ENOTTY));

  port_.Close();
  ASSERT_EQ(::ioctl(pty_.slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(second.CheckPortAvailable(pty_.slaveName()), PortAvailable);
  ASSERT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), kLinkOk);
  EXPECT_EQ(told, (std::vector<int>{-1, port_.InputFd()}));

  // The adapter is pulled: told once, and a write to it fails at once.
  pty_.CloseMaster();
  const SerialPort::Input input = NextEvents(port_, kEventLimit);
  EXPECT_TRUE(input.deviceGone && input.events == 0);
  const LinkResult result = Write(port_, "?V\r");
  EXPECT_TRUE(result.status == LinkStatus::SystemError && result.systemError != 0)
      << LinkResultText(result);
  port_.SetInputFdListener(nullptr);  // the port closes after this test's listener is gone
}

TEST_F(OpenedPort, AWriteTheLineHoldsBackEndsAfterPerByteTimesCountPlusConstant) {
  ASSERT_EQ(::tcflow(pty_.slave(), TCOOFF), 0);  // held, as by a radio holding CTS low
  port_.SetWriteTimeouts(1, 20);
  const auto start = Clock::now();
  EXPECT_EQ(Write(port_, std::string(30, 'C')), (LinkResult{LinkStatus::TimedOut, 0}));
  EXPECT_GE(Clock::now() - start, 45ms);  // 1 ms x 30 + 20 ms
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(OpenedPort, ARequestWrittenJustBeforeCloseReachesARadioThatReadsSlowly) {
  // The radio has not read what came before: past the 4 KiB it could read at once,
  // the pty keeps the rest on its way, where a flush at close would drop it.
  ASSERT_EQ(Write(port_, std::string(8000, 'B')), kLinkOk);
  ASSERT_EQ(Write(port_, "P0\r"), kLinkOk);
  EXPECT_EQ(port_.Close(), kLinkOk);
  EXPECT_TRUE(pty_.RadioReceives(8003) == std::string(8000, 'B') + "P0\r") << "all, in order";
}

TEST(PortClosing, WaitsForQueuedOutputToLeaveAndGivesUpWhatFlowControlHoldsBack) {
  int looks = 0;
  EXPECT_EQ(WaitForOutputToLeave([&] { return looks++ < 5 ? 3 : 0; }, 57600), 0u);
  const auto start = Clock::now();
  EXPECT_EQ(WaitForOutputToLeave([] { return 3; }, 57600), 3u);  // a radio holding CTS low
  EXPECT_GE(Clock::now() - start, kOutputDrainMargin);
  EXPECT_LT(Clock::now() - start, kOutputDrainMargin + 500ms);
}

TEST(PortAvailability, ThePermissionHintNamesAGroupOnlyWhenJoiningItWouldHelp) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a device to a group needs root";
  const PtyPair pty;
  const group* dialout = ::getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  // group, mode -> joining dialout helps; else a udev rule or the administrator is needed
  for (const auto& [group, mode, join] : {std::tuple{dialout->gr_gid, 0660u, true},
                                          std::tuple{dialout->gr_gid, 0640u, false},
                                          std::tuple{gid_t{0}, 0660u, false}}) {
    ASSERT_EQ(::fchown(pty.slave(), static_cast<uid_t>(-1), group), 0);
    ASSERT_EQ(::fchmod(pty.slave(), mode), 0);
    const std::string hint = SerialPermissionHint(pty.slaveName());
    EXPECT_EQ(hint.find("sudo usermod -aG dialout $USER") != std::string::npos, join) << hint;
    EXPECT_EQ(hint.find("udev rule") != std::string::npos, !join) << hint;
  }
  // A user without the permission is told it as the reason the port is not available.
  int told[2];
  ASSERT_EQ(::pipe(told), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    SerialPort port;
    const std::string reason =
        port.CheckPortAvailable(pty.slaveName()) == PortInUse ? port.UnavailableReason() : "";
    (void)!::write(told[1], reason.data(), reason.size());
    ::_exit(0);
  }
  ::close(told[1]);
  std::string reason(512, '\0');
  const ssize_t got = ::read(told[0], reason.data(), reason.size());
  reason.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  ::close(told[0]);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(reason.starts_with("you have no permission to use " + pty.slaveName() + ", and joining") &&
              reason.ends_with("or the administrator"))
      << reason;
}

// A busy port names the program that holds it, so that the user knows what to close;
// found by the device it holds, here opened through a link of another name.
TEST(PortAvailability, APortInUseNamesTheProcessThatHoldsIt) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
  ::close(slave);  // the child alone holds the port
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::prctl(PR_SET_NAME, "minicom");
    ::close(release[1]);
    const int fd = ::open(name, O_RDWR | O_NOCTTY);
    char c = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
    if (::write(ready[1], &c, 1) == 1) (void)!::read(release[0], &c, 1);  // until the test is done
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char held = 0;
  EXPECT_EQ(::read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, '1');
  const test::TempDir dir;
  EXPECT_EQ(::symlink(name, dir.File("radio-tty").c_str()), 0);
  SerialPort port;
  EXPECT_EQ(port.CheckPortAvailable(dir.File("radio-tty")), PortInUse);
  EXPECT_EQ(port.UnavailableReason(), "it is in use by minicom (process " + std::to_string(child) + ")");
  ::close(release[1]);
  ::waitpid(child, nullptr, 0);
  ::close(ready[0]);
  ::close(master);
}

}  // namespace
}  // namespace flash
