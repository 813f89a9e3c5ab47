#include "link/serial_port.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <chrono>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_output_drain.h"
#include "link/serial_permission_hint.h"
#include "tests/link/port_events.h"
#include "tests/link/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Long enough for a loaded machine; a passing test returns as soon as the event is there.
constexpr auto kEventLimit = 2s;
// How long to watch for events that must not come.
constexpr auto kQuietPeriod = 50ms;

constexpr std::uint32_t kRunningMask = kEventFlagChar | kEventLineError;

Bytes ReadAll(SerialPort& port, std::size_t size = 4096) {
  Bytes buffer(size);
  std::size_t count = 99;
  EXPECT_EQ(port.Read(buffer.data(), buffer.size(), &count), 0);
  buffer.resize(count);
  return buffer;
}

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The events of the next input that brings some; they must come.
std::uint32_t AnswerEvents(SerialPort& port) {
  const SerialPort::Input input = NextEvents(port, kEventLimit);
  EXPECT_NE(input.events, 0u) << "no event came";
  return input.events;
}

// The port after the serial link's opening: 57600 8N1, hardware flow control,
// CR as the event character, only CR and line errors reported.
class OpenedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    ASSERT_EQ(port_.CheckPortAvailable(pty_.slaveName()), PortAvailable);
    ASSERT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), 0);
    EXPECT_EQ(port_.SetLineFormat(57600, 8, 0, 0), 0);
    EXPECT_EQ(port_.SetFlowControl(FlowHardware), 0);
    port_.SetWriteTimeouts(10, 10);
    EXPECT_EQ(port_.SetEventCharacter(13, false), 0);
    EXPECT_EQ(port_.SetEventMask(kRunningMask), 0);
    port_.Purge();
  }

  termios Attributes() const {
    termios attributes {};
    EXPECT_EQ(::tcgetattr(pty_.slave(), &attributes), 0);
    return attributes;
  }

  PtyPair pty_;
  SerialPort port_;
};

TEST_F(OpenedPort, IsConfiguredRawAt57600EightNoneOne) {
  const termios t = Attributes();
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(t.c_iflag & (IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                         INPCK),
            0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_TRUE(port_.IsOpen());
}

TEST_F(OpenedPort, PassesEveryByteValueUnchangedBothWays) {
  Bytes all(256);
  std::iota(all.begin(), all.end(), 0);
  pty_.RadioSends(all);
  Bytes got;
  for (auto deadline = std::chrono::steady_clock::now() + kEventLimit;
       got.size() < all.size() && std::chrono::steady_clock::now() < deadline;) {
    NextEvents(port_, 10ms);  // the bytes after the CR bring no event
    const Bytes more = ReadAll(port_);
    got.insert(got.end(), more.begin(), more.end());
  }
  EXPECT_EQ(got, all);

  std::size_t sent = 0;
  EXPECT_EQ(port_.Write(all.data(), all.size(), &sent), 0);
  EXPECT_EQ(sent, all.size());
  EXPECT_EQ(pty_.RadioReceives(all.size(), kEventLimit), all);
}

TEST_F(OpenedPort, AnAnswerEndingInCrGivesExactlyOneEventAndItsRead) {
  pty_.RadioSends("VER 1234 797\r");
  const SerialPort::Input input = NextEvents(port_, kEventLimit);
  EXPECT_EQ(input.events, kEventFlagChar);
  EXPECT_EQ(input.errors, 0u);
  EXPECT_EQ(NextEvents(port_, kQuietPeriod).events, 0u);
  EXPECT_EQ(ReadAll(port_, 128), AsBytes("VER 1234 797\r"));
}

TEST_F(OpenedPort, BytesWithoutCrGiveNoEventAndAreReadWithTheNextAnswer) {
  pty_.RadioSends(":4");
  EXPECT_EQ(NextEvents(port_, kQuietPeriod).events, 0u);
  pty_.RadioSends("2\r");
  EXPECT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_, 128), AsBytes(":42\r"));
}

TEST_F(OpenedPort, AnAnswerOf200BytesGivesOneReadOf128AndPurgeDiscardsTheRest) {
  Bytes answer(199, 'A');
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>('A' + i % 26);
  answer.push_back('\r');
  pty_.RadioSends(answer);
  ASSERT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_, 128), Bytes(answer.begin(), answer.begin() + 128));
  port_.Purge();
  EXPECT_TRUE(ReadAll(port_, 128).empty());
}

TEST_F(OpenedPort, OpenOnTheOpenPortAnswers1247AndLeavesItWorking) {
  EXPECT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), kResultAlreadyInitialised);
  EXPECT_TRUE(port_.IsOpen());
  pty_.RadioSends("READY\r");
  ASSERT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_, 128), AsBytes("READY\r"));
}

TEST_F(OpenedPort, ASecondOpeningOfThePortInUseFailsInThisProcessAndInAnother) {
  SerialPort second;
  EXPECT_EQ(second.CheckPortAvailable(pty_.slaveName()), PortInUse);
  EXPECT_EQ(second.AvailabilityHint(), "");
  EXPECT_EQ(second.Open(pty_.slaveName(), 2048, 2048), EBUSY);
  EXPECT_FALSE(second.IsOpen());

  const std::string name = pty_.slaveName();
  const pid_t child = ::fork();
  if (child == 0) {
    SerialPort other;
    ::_exit(other.CheckPortAvailable(name) == PortInUse ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  port_.Close();
  EXPECT_EQ(second.CheckPortAvailable(pty_.slaveName()), PortAvailable);
  EXPECT_EQ(second.Open(pty_.slaveName(), 2048, 2048), 0);
}

TEST_F(OpenedPort, SoftwareFlowControlPacesInputOnlyAndHandsXonXoffToTheReader) {
  ASSERT_EQ(port_.SetLineFormat(57600, 8, 0, 0), 0);
  ASSERT_EQ(port_.SetFlowControl(FlowSoftware), 0);
  port_.SetWriteTimeouts(100, 100);
  port_.Purge();
  const termios t = Attributes();
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXANY), 0u);
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);

  pty_.RadioSends(Bytes{0x13, ':', '4', '2', 0x11, '\r'});
  ASSERT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_, 128), (Bytes{0x13, ':', '4', '2', 0x11, '\r'}));

  // The radio's XOFF does not stop our output either.
  pty_.RadioSends(Bytes{0x13});
  const Bytes frame = AsBytes("B\x10\x00\x00\x00\r");
  std::size_t sent = 0;
  EXPECT_EQ(port_.Write(frame.data(), frame.size(), &sent), 0);
  EXPECT_EQ(pty_.RadioReceives(frame.size(), kEventLimit), frame);
}

TEST_F(OpenedPort, RefusesAnInvalidSettingWithItsCodeAndChangesNothing) {
  const termios before = Attributes();
  EXPECT_EQ(port_.SetFlowControl(3), kResultInvalidArgument);
  EXPECT_EQ(port_.SetLineFormat(12345, 8, 0, 0), EINVAL);
  EXPECT_EQ(port_.SetLineFormat(57600, 8, 5, 0), EINVAL);
  const termios after = Attributes();
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
}

TEST_F(OpenedPort, AFullInputQueueGivesAnOverrunLineErrorWithoutTheEventCharacterBit) {
  port_.Close();
  ASSERT_EQ(port_.Open(pty_.slaveName(), 16, 16), 0);
  ASSERT_EQ(port_.SetEventCharacter(13, false), 0);
  ASSERT_EQ(port_.SetEventMask(kRunningMask), 0);
  pty_.RadioSends(std::string(40, 'x'));
  const SerialPort::Input input = NextEvents(port_, kEventLimit);
  EXPECT_EQ(input.events, kEventLineError);
  EXPECT_EQ(input.errors, kLineErrorOverrun);
  EXPECT_EQ(ReadAll(port_), Bytes(16, 'x'));
}

TEST_F(OpenedPort, ReportsWhatTheMaskAndTheEventCharacterAskFor) {
  ASSERT_EQ(port_.SetEventMask(kEventCharArrived | kEventFlagChar), 0);
  pty_.RadioSends("?");
  EXPECT_EQ(AnswerEvents(port_), kEventCharArrived);

  ASSERT_EQ(port_.SetEventMask(kEventLineError), 0);
  ASSERT_EQ(port_.SetEventCharacter('>', true), 0);
  pty_.RadioSends("ok>");
  EXPECT_EQ(AnswerEvents(port_), kEventFlagChar);
}

TEST_F(OpenedPort, AWriteHeldBackEndsWithinItsTimeOutOfPerByteTimesCountPlusConstant) {
  // Nobody reads the radio's side, so the pty's buffer fills and stays full.
  port_.SetWriteTimeouts(0, 50);
  const Bytes lots(1 << 20, 'B');
  std::size_t sent = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Write(lots.data(), lots.size(), &sent), kResultTimeout);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(sent, lots.size());
  EXPECT_GE(took, 45ms);
  EXPECT_LT(took, 1s);

  port_.SetWriteTimeouts(1, 20);
  const Bytes frame(30, 'C');
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Write(frame.data(), frame.size(), &sent), kResultTimeout);
  took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 45ms);  // 1 ms x 30 + 20 ms
  EXPECT_LT(took, 1s);
}

TEST_F(OpenedPort, OpensAgainWithAFreshQueueTellingItsListenerEachDescriptor) {
  std::vector<int> told;
  port_.SetInputFdListener([&](int fd) {
    told.push_back(fd);
    // At -1 the descriptor is still open: a loop stops watching it first.
    if (fd < 0) {
      EXPECT_TRUE(port_.IsOpen());
    }
  });
  pty_.RadioSends("old\r");
  ASSERT_EQ(AnswerEvents(port_), kEventFlagChar);
  port_.Close();
  EXPECT_EQ(port_.InputFd(), -1);
  ASSERT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), 0);
  EXPECT_EQ(told, (std::vector<int>{-1, port_.InputFd()}));
  ASSERT_EQ(port_.SetEventCharacter(13, false), 0);
  ASSERT_EQ(port_.SetEventMask(kRunningMask), 0);
  EXPECT_TRUE(ReadAll(port_).empty());
  pty_.RadioSends("new\r");
  ASSERT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_, 128), AsBytes("new\r"));
}

TEST_F(OpenedPort, PurgeDropsInputNotYetMovedAndAHangUpIsToldAsTheDeviceGone) {
  // More than the driver's line buffer holds waits in the device, none of it moved yet.
  pty_.RadioSends(std::string(6000, 'S') + "\r");
  std::this_thread::sleep_for(kQuietPeriod);
  port_.Purge();
  pty_.RadioSends(":42\r");
  EXPECT_EQ(AnswerEvents(port_), kEventFlagChar);
  EXPECT_EQ(ReadAll(port_), AsBytes(":42\r"));

  pty_.CloseMaster();
  const SerialPort::Input input = NextEvents(port_, kEventLimit);
  EXPECT_TRUE(input.deviceGone);
  EXPECT_EQ(input.events, 0u);
  EXPECT_EQ(port_.Close(), 0);
}

TEST_F(OpenedPort, ARequestWrittenJustBeforeCloseReachesARadioThatReadsSlowly) {
  // The radio has not read what came before: past the 4 KiB it could read at
  // once, the pty keeps the rest on its way, where a flush at close drops it as a
  // UART's flush drops its queue.
  const Bytes earlier(8000, 'B');
  const Bytes cancel = AsBytes("P0\r");
  std::size_t sent = 0;
  ASSERT_EQ(port_.Write(earlier.data(), earlier.size(), &sent), 0);
  ASSERT_EQ(port_.Write(cancel.data(), cancel.size(), &sent), 0);
  EXPECT_EQ(port_.Close(), 0);
  EXPECT_EQ(port_.DiscardedAtClose(), 0u);
  const Bytes got = pty_.RadioReceives(earlier.size() + cancel.size(), kEventLimit);
  ASSERT_EQ(got.size(), earlier.size() + cancel.size());
  EXPECT_EQ(Bytes(got.end() - 3, got.end()), cancel);
}

TEST(PortClosing, WaitsForQueuedOutputAtMostItsWireTimePlusAMarginThenDiscardsIt) {
  const struct {
    int bytes;
    int looksUntilEmpty;  // -1: never (a radio holding CTS low)
    std::size_t discarded;
  } cases[] = {
      {3, 5, 0},    // the queue empties: nothing is lost
      {3, -1, 3},   // held back: given up after about 0.5 ms + 200 ms
      {-1, -1, 0},  // the device is gone: nothing to wait for
  };
  for (const auto& c : cases) {
    int looks = 0;
    const auto queuedOutput = [&] {
      return c.looksUntilEmpty >= 0 && looks++ >= c.looksUntilEmpty ? 0 : c.bytes;
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForOutputToLeave(queuedOutput, 57600), c.discarded) << c.bytes;
    const auto took = std::chrono::steady_clock::now() - start;
    if (c.discarded != 0) {
      EXPECT_GE(took, kOutputDrainMargin);
    }
    EXPECT_LT(took, kOutputDrainMargin + 500ms);
  }
}

TEST(ClosedPort, AnswersInvalidHandleAndSendsNothing) {
  SerialPort port;
  const std::uint8_t request[] = {'?', 'V', '\r'};
  std::size_t count = 99;
  EXPECT_EQ(port.Write(request, sizeof request, &count), kResultInvalidHandle);
  EXPECT_EQ(count, 0u);
  std::uint8_t buffer[8];
  count = 99;
  EXPECT_EQ(port.Read(buffer, sizeof buffer, &count), kResultInvalidHandle);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(port.SetLineFormat(57600, 8, 0, 0), kResultInvalidHandle);
  EXPECT_EQ(port.SetFlowControl(FlowHardware), kResultInvalidHandle);
  EXPECT_EQ(port.SetEventMask(kRunningMask), kResultInvalidHandle);
  EXPECT_EQ(port.SetEventCharacter(13, false), kResultInvalidHandle);
  EXPECT_EQ(port.Close(), 0);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.InputFd(), -1);
  EXPECT_EQ(port.ServiceInput().events, 0u);
}

TEST(PortAvailability, AMissingDeviceIsNotPresent) {
  SerialPort port;
  EXPECT_EQ(port.CheckPortAvailable("/dev/ttyNoSuchPort7"), PortNotPresent);
  EXPECT_EQ(port.AvailabilityHint(), "");
  EXPECT_EQ(port.Open("/dev/ttyNoSuchPort7", 2048, 2048), ENOENT);
  EXPECT_FALSE(port.IsOpen());
}

TEST(PortAvailability, AFileThatIsNoTerminalIsAnUnknownError) {
  SerialPort port;
  EXPECT_EQ(port.CheckPortAvailable("/dev/null"), PortUnknownError);
  EXPECT_EQ(port.Open("/dev/null", 2048, 2048), ENOTTY);
}

TEST(PortAvailability, ThePermissionHintNamesAGroupOnlyWhenJoiningItWouldHelp) {
  test::TempDir directory;
  const std::string device = directory.Write("ttyUSB9", "");
  const group* dialout = ::getgrnam("dialout");
  ASSERT_NE(dialout, nullptr);
  const struct {
    std::string device;
    gid_t group;
    mode_t mode;
    bool joinDialout;  // else: a udev rule or the administrator
  } cases[] = {
      {device, dialout->gr_gid, 0660, true},
      {device, dialout->gr_gid, 0640, false},  // the group may not write
      {device, dialout->gr_gid, 0620, false},  // nor read
      {device, 0, 0660, false},                // root's group
      {"/dev/ttyNoSuchPort7", 0, 0, false},
  };
  for (const auto& c : cases) {
    if (c.device == device) {
      ASSERT_EQ(::chown(device.c_str(), static_cast<uid_t>(-1), c.group), 0);
      ASSERT_EQ(::chmod(device.c_str(), c.mode), 0);
    }
    const std::string hint = SerialPermissionHint(c.device);
    EXPECT_TRUE(hint.starts_with("You have no permission to use " + c.device)) << hint;
    EXPECT_EQ(hint.find("sudo usermod -aG dialout $USER") != std::string::npos, c.joinDialout)
        << hint;
    EXPECT_EQ(hint.find("udev rule") != std::string::npos, !c.joinDialout) << hint;
    EXPECT_EQ(hint.find("\"root\""), std::string::npos) << hint;
  }
}

}  // namespace
}  // namespace flash
