#include "link/serial_port.h"

#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <termios.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "link/serial_permission_hint.h"
#include "tests/link/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Long enough for a loaded machine; a passing test returns as soon as the event is there.
constexpr auto kEventLimit = 2s;
// How long to watch for a notification that must not come.
constexpr auto kQuietPeriod = 50ms;

constexpr std::uint32_t kRunningMask = kEventFlagChar | kEventLineError;

struct Notification {
  std::uint32_t message;
  std::uint32_t firstParam;
  std::intptr_t userValue;
  std::thread::id thread;
};

class RecordingTarget : public SerialNotifyTarget {
 public:
  void PostSerialNotify(std::uint32_t message, std::uint32_t firstParam,
                        std::intptr_t userValue) override {
    std::lock_guard lock(mutex_);
    notes_.push_back({message, firstParam, userValue, std::this_thread::get_id()});
    arrived_.notify_all();
  }

  bool WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, kEventLimit, [&] { return notes_.size() >= count; });
  }

  std::vector<Notification> Notes() {
    std::lock_guard lock(mutex_);
    return notes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Notification> notes_;
};

Bytes ReadAll(SerialPort& port, std::size_t size = 4096) {
  Bytes buffer(size);
  std::size_t count = 99;
  EXPECT_EQ(port.Read(buffer.data(), buffer.size(), &count), 0);
  buffer.resize(count);
  return buffer;
}

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The port after the serial link's opening: 57600 8N1, hardware flow control,
// CR as the event character, only CR and line errors reported.
class OpenedPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    port_.SetNotifyTarget(&target_);
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
  RecordingTarget target_;
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
  ASSERT_TRUE(target_.WaitFor(1));
  Bytes got;
  for (auto deadline = std::chrono::steady_clock::now() + kEventLimit;
       got.size() < all.size() && std::chrono::steady_clock::now() < deadline;) {
    const Bytes more = ReadAll(port_);
    got.insert(got.end(), more.begin(), more.end());
    if (more.empty()) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(got, all);

  std::size_t sent = 0;
  EXPECT_EQ(port_.Write(all.data(), all.size(), &sent), 0);
  EXPECT_EQ(sent, all.size());
  EXPECT_EQ(pty_.RadioReceives(all.size(), kEventLimit), all);
}

TEST_F(OpenedPort, AnAnswerEndingInCrGivesExactlyOneNotificationAndItsRead) {
  pty_.RadioSends("VER 1234 797\r");
  ASSERT_TRUE(target_.WaitFor(1));
  std::this_thread::sleep_for(kQuietPeriod);
  const auto notes = target_.Notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].firstParam, kEventFlagChar);
  EXPECT_EQ(notes[0].message, kSerialNotifyDefaultMessage);
  EXPECT_EQ(notes[0].userValue, 0);
  EXPECT_NE(notes[0].thread, std::this_thread::get_id());
  EXPECT_EQ(ReadAll(port_, 128), AsBytes("VER 1234 797\r"));
}

TEST_F(OpenedPort, BytesWithoutCrGiveNoNotificationAndAreReadWithTheNextAnswer) {
  pty_.RadioSends(":4");
  std::this_thread::sleep_for(kQuietPeriod);
  EXPECT_TRUE(target_.Notes().empty());
  pty_.RadioSends("2\r");
  ASSERT_TRUE(target_.WaitFor(1));
  EXPECT_EQ(ReadAll(port_, 128), AsBytes(":42\r"));
}

TEST_F(OpenedPort, AnAnswerOf200BytesGivesOneReadOf128AndPurgeDiscardsTheRest) {
  Bytes answer(199, 'A');
  for (std::size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<std::uint8_t>('A' + i % 26);
  answer.push_back('\r');
  pty_.RadioSends(answer);
  ASSERT_TRUE(target_.WaitFor(1));
  EXPECT_EQ(ReadAll(port_, 128), Bytes(answer.begin(), answer.begin() + 128));
  port_.Purge();
  EXPECT_TRUE(ReadAll(port_, 128).empty());
}

TEST_F(OpenedPort, OpenOnTheOpenPortAnswers1247AndLeavesItWorking) {
  EXPECT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), kResultAlreadyInitialised);
  EXPECT_EQ(port_.lastError(), kResultAlreadyInitialised);
  EXPECT_TRUE(port_.IsOpen());
  pty_.RadioSends("READY\r");
  ASSERT_TRUE(target_.WaitFor(1));
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
    int error = 0;
    const PortAvailability availability = SerialDevice::CheckDevice(name, &error);
    ::_exit(availability == PortInUse && error == EBUSY ? 0 : 1);
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
  ASSERT_TRUE(target_.WaitFor(1));
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
  EXPECT_EQ(port_.lastError(), kResultInvalidArgument);
  EXPECT_EQ(port_.SetReadMode(2), kResultInvalidArgument);
  EXPECT_EQ(port_.readMode(), ReadNonBlocking);
  EXPECT_EQ(port_.SetLineFormat(12345, 8, 0, 0), EINVAL);
  EXPECT_EQ(port_.SetLineFormat(57600, 8, 5, 0), EINVAL);
  const termios after = Attributes();
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
}

TEST_F(OpenedPort, AFullInputQueueGivesALineErrorNotificationWithoutTheEventCharacterBit) {
  port_.Close();
  ASSERT_EQ(port_.Open(pty_.slaveName(), 16, 16), 0);
  ASSERT_EQ(port_.SetEventCharacter(13, false), 0);
  ASSERT_EQ(port_.SetEventMask(kRunningMask), 0);
  pty_.RadioSends(std::string(40, 'x'));
  ASSERT_TRUE(target_.WaitFor(1));
  const auto notes = target_.Notes();
  EXPECT_EQ(notes[0].firstParam, (kLineErrorOverrun << 16) | kEventLineError);
  EXPECT_EQ(notes[0].firstParam & kEventFlagChar, 0u);
  EXPECT_EQ(ReadAll(port_), Bytes(16, 'x'));
}

TEST_F(OpenedPort, ReportsWhatTheMaskAndTheEventCharacterAskFor) {
  ASSERT_EQ(port_.SetEventMask(kEventCharArrived | kEventFlagChar), 0);
  pty_.RadioSends("?");
  ASSERT_TRUE(target_.WaitFor(1));
  EXPECT_EQ(target_.Notes()[0].firstParam, kEventCharArrived);

  ASSERT_EQ(port_.SetEventMask(kEventLineError), 0);
  ASSERT_EQ(port_.SetEventCharacter('>', true), 0);
  EXPECT_EQ(port_.eventMask(), kEventLineError | kEventFlagChar);
  pty_.RadioSends("ok>");
  ASSERT_TRUE(target_.WaitFor(2));
  EXPECT_EQ(target_.Notes()[1].firstParam, kEventFlagChar);
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

TEST_F(OpenedPort, CloseEndsTheWatcherPromptlyWhenNoByteEverArrived) {
  EXPECT_TRUE(port_.WatcherRunning());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Close(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_FALSE(port_.WatcherRunning());
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(OpenedPort, OpensAgainAfterCloseWithAFreshQueueAndPostsNothingAfterClose) {
  pty_.RadioSends("old\r");
  ASSERT_TRUE(target_.WaitFor(1));
  port_.Close();
  ASSERT_EQ(port_.Open(pty_.slaveName(), 2048, 2048), 0);
  ASSERT_EQ(port_.SetEventCharacter(13, false), 0);
  ASSERT_EQ(port_.SetEventMask(kRunningMask), 0);
  EXPECT_TRUE(ReadAll(port_).empty());
  pty_.RadioSends("new\r");
  ASSERT_TRUE(target_.WaitFor(2));
  EXPECT_EQ(ReadAll(port_, 128), AsBytes("new\r"));

  port_.Close();
  pty_.RadioSends("late\r");
  std::this_thread::sleep_for(kQuietPeriod);
  EXPECT_EQ(target_.Notes().size(), 2u);
}

// A port whose input is left to the caller's event loop (the headless tool's):
// no watcher thread; each poll of the device and ServiceInput moves the input and
// posts its events on the loop's thread; every byte arrives once and in order.
TEST(PortLeavingInputToItsCaller, MovesInputOnlyWhenServicedAndPostsOnTheCallersThread) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  RecordingTarget target;
  SerialPort port;
  port.SetNotifyTarget(&target);
  port.LeaveInputToCaller(true);
  EXPECT_EQ(port.InputWakeFd(), -1);
  ASSERT_EQ(port.Open(pty.slaveName(), 2048, 2048), 0);
  EXPECT_FALSE(port.WatcherRunning());
  ASSERT_GE(port.InputWakeFd(), 0);
  ASSERT_EQ(port.SetEventCharacter(13, false), 0);
  ASSERT_EQ(port.SetEventMask(kRunningMask), 0);

  pty.RadioSends(":0\r");
  std::this_thread::sleep_for(kQuietPeriod);
  EXPECT_TRUE(target.Notes().empty());  // nobody moved it yet
  EXPECT_TRUE(ReadAll(port).empty());   // reads only take from the queue

  constexpr int kAnswers = 300;
  std::string sent = ":0\r";
  for (int i = 1; i < kAnswers; ++i) sent += ":" + std::to_string(i) + "\r";
  std::thread radio([&] {
    for (int i = 1; i < kAnswers; ++i) pty.RadioSends(":" + std::to_string(i) + "\r");
  });
  std::string got;
  for (auto deadline = std::chrono::steady_clock::now() + kEventLimit;
       got.size() < sent.size() && std::chrono::steady_clock::now() < deadline;) {
    pollfd input{port.InputWakeFd(), POLLIN, 0};
    if (::poll(&input, 1, 10) > 0) {
      EXPECT_TRUE(port.ServiceInput());
    }
    const Bytes more = ReadAll(port);
    got.append(more.begin(), more.end());
  }
  radio.join();
  EXPECT_EQ(got, sent);
  const auto notes = target.Notes();
  ASSERT_FALSE(notes.empty());
  EXPECT_LE(notes.size(), static_cast<std::size_t>(kAnswers));
  for (const Notification& note : notes) {
    EXPECT_EQ(note.firstParam, kEventFlagChar);
    EXPECT_EQ(note.thread, std::this_thread::get_id());
  }

  // The radio's side hangs up: ServiceInput says so, and after Close nothing is polled.
  pty.CloseMaster();
  EXPECT_FALSE(port.ServiceInput());
  EXPECT_EQ(port.lastError(), EIO);
  EXPECT_EQ(port.Close(), 0);
  EXPECT_EQ(port.InputWakeFd(), -1);
  EXPECT_FALSE(port.ServiceInput());
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

// A driver whose output queue the test scripts: it empties after some looks, never
// (a radio holding CTS low), or the device is gone.
class ScriptedQueuePort : public SerialWatcher {
 public:
  int bytes = 0;
  int looksUntilEmpty = -1;  // -1: never

 protected:
  int QueuedOutput() const override {
    if (looksUntilEmpty >= 0 && looks_++ >= looksUntilEmpty) return 0;
    return bytes;
  }
  void OnCommEvent(std::uint32_t, std::uint32_t) override {}

 private:
  mutable int looks_ = 0;
};

TEST(PortClosing, WaitsForQueuedOutputAtMostItsWireTimePlusAMarginThenDiscardsIt) {
  const struct {
    int bytes;
    int looksUntilEmpty;
    std::size_t discarded;
  } cases[] = {
      {3, 5, 0},   // the queue empties: nothing is lost
      {3, -1, 3},  // held back: given up after about 0.5 ms + 200 ms
      {-1, -1, 0}, // the device is gone: nothing to wait for
  };
  for (const auto& c : cases) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    ScriptedQueuePort port;
    ASSERT_EQ(port.Open(pty.slaveName(), 2048, 2048), 0);
    ASSERT_EQ(port.SetLineFormat(57600, 8, 0, 0), 0);
    port.bytes = c.bytes;
    port.looksUntilEmpty = c.looksUntilEmpty;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Close(), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(port.DiscardedAtClose(), c.discarded) << c.bytes << " " << c.looksUntilEmpty;
    EXPECT_FALSE(port.IsOpen());
    if (c.discarded != 0) {
      EXPECT_GE(took, kOutputDrainMargin);
    }
    EXPECT_LT(took, kOutputDrainMargin + 500ms);
  }
}

TEST_F(OpenedPort, TheWatcherEndsQuietlyWhenTheDeviceGoesAway) {
  pty_.CloseMaster();
  for (auto deadline = std::chrono::steady_clock::now() + kEventLimit;
       port_.WatcherRunning() && std::chrono::steady_clock::now() < deadline;) {
    if (port_.lastError() == EIO) break;
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(port_.lastError(), EIO);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Close(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
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

// The device opened without starting its watcher: reads move the input themselves.
class SerialDeviceWithoutWatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    ASSERT_EQ(port.Open(pty.slaveName(), 64, 64), 0);
    EXPECT_FALSE(port.WatcherRunning());
  }

  // A blocking read of `size` bytes that gives up after `limitMs`; its result code in *result.
  Bytes ReadBlockingly(std::size_t size, std::uint32_t limitMs, std::int32_t* result) {
    Bytes buffer(size);
    std::size_t count = 0;
    *result = port.Read(buffer.data(), size, &count, limitMs);
    buffer.resize(count);
    return buffer;
  }

  PtyPair pty;
  class PlainWatcher : public SerialWatcher {
    void OnCommEvent(std::uint32_t, std::uint32_t) override {}
  } port;
};

TEST_F(SerialDeviceWithoutWatcher, ReadsWhatArrivedByItself) {
  pty.RadioSends("abc");
  ASSERT_EQ(port.SetReadMode(ReadBlocking), 0);
  std::int32_t result = -1;
  EXPECT_EQ(ReadBlockingly(3, 2000, &result), AsBytes("abc"));
  EXPECT_EQ(result, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReadBlockingly(3, 30, &result).empty());
  EXPECT_EQ(result, kResultTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
}

TEST_F(SerialDeviceWithoutWatcher, PurgeDropsInputStillInTheDeviceAndKeepsWhatComesAfter) {
  ASSERT_EQ(port.SetEventCharacter(13, false), 0);
  // More than the driver's line buffer holds waits in the device, none of it moved yet.
  const std::string stale(6000, 'S');
  pty.RadioSends(stale + "\r");
  EXPECT_EQ(port.InputWakeFd(), -1);  // no watcher: nothing for a loop to poll
  std::this_thread::sleep_for(kQuietPeriod);
  port.Purge();
  EXPECT_EQ(port.TakeEvents(), 0u);
  pty.RadioSends(":42\r");
  ASSERT_EQ(port.SetReadMode(ReadBlocking), 0);
  std::int32_t result = -1;
  EXPECT_EQ(ReadBlockingly(4, 2000, &result), AsBytes(":42\r"));
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace flash
