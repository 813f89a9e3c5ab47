#include "link/serial_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/serial_permission_hint.h"
#include "link/serial_termios.h"

namespace flash {
namespace {

using Clock = std::chrono::steady_clock;

PortAvailability Classify(int error) {
  switch (error) {
    case 0:
      return PortAvailable;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:  // a /dev/ttyS node without a UART behind it
      return PortNotPresent;
    case EBUSY:
    case EWOULDBLOCK:
    case EACCES:
    case EPERM:
      return PortInUse;
    default:
      return PortUnknownError;
  }
}

}  // namespace

SerialDevice::SerialDevice() : queue_(kDefaultInQueueSize) {}

SerialDevice::~SerialDevice() { SerialDevice::Close(); }

int SerialDevice::OpenExclusive(const std::string& deviceName, int* errorOut) {
  *errorOut = 0;
  const int fd = ::open(deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *errorOut = errno;
    return -1;
  }
  if (!::isatty(fd)) {
    *errorOut = ENOTTY;
    ::close(fd);
    return -1;
  }
  // The lock refuses a second opening even to root, whom TIOCEXCL lets through;
  // TIOCEXCL also refuses programs that do not take the lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *errorOut = (errno == EWOULDBLOCK) ? EBUSY : errno;
    ::close(fd);
    return -1;
  }
  ::ioctl(fd, TIOCEXCL);
  return fd;
}

PortAvailability SerialDevice::CheckDevice(const std::string& deviceName, int* errorOut) {
  int error = 0;
  const int fd = OpenExclusive(deviceName, &error);
  if (fd >= 0) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
  }
  if (errorOut != nullptr) *errorOut = error;
  return Classify(error);
}

PortAvailability SerialDevice::CheckPortAvailable(const std::string& deviceName) {
  int error = 0;
  const PortAvailability availability = CheckDevice(deviceName, &error);
  hint_.clear();
  if (error == EACCES || error == EPERM) hint_ = SerialPermissionHint(deviceName);
  return availability;
}

std::int32_t SerialDevice::Open(const std::string& deviceName, std::uint32_t inQueueSize,
                                std::uint32_t /*outQueueSize*/) {
  if (IsOpen()) return Result(kResultAlreadyInitialised);
  int error = 0;
  const int fd = OpenExclusive(deviceName, &error);
  if (fd < 0) return Result(error);
  fd_ = fd;
  discardedAtClose_ = 0;
  lastError_.store(0);

  {
    std::lock_guard lock(queueMutex_);
    queue_.Reset(inQueueSize != 0 ? inQueueSize : kDefaultInQueueSize);
  }
  eventsSeen_.store(0);
  lineErrors_.store(0);
  eventCharacter_.store(0);
  eventMask_.store(kOpenEventMask);
  readMode_.store(ReadNonBlocking);
  writePerByteMs_ = kDefaultWritePerByteMs;
  writeConstantMs_ = kDefaultWriteConstantMs;

  // The device's defaults: raw 8N1 at its present speed, no flow control.
  // Failures here do not fail the opening (a pty refuses some of it).
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) == 0) {
    MakeRaw(attributes);
    attributes.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    attributes.c_cflag |= CS8;
    ApplyFlowControl(attributes, FlowNone);
    ::tcsetattr(fd_, TCSANOW, &attributes);
  }

  // Answers of a few bytes should not wait for the driver's latency timer
  // (16 ms on many USB adapters); ports without the setting are fine as they are.
  serial_struct serial {};
  if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd_, TIOCSSERIAL, &serial);
  }

  serial_icounter_struct counters {};
  countersKept_ = ::ioctl(fd_, TIOCGICOUNT, &counters) == 0;
  if (countersKept_) {
    framesSeen_ = static_cast<std::uint32_t>(counters.frame);
    paritySeen_ = static_cast<std::uint32_t>(counters.parity);
    overrunsSeen_ = static_cast<std::uint32_t>(counters.overrun + counters.buf_overrun);
    breaksSeen_ = static_cast<std::uint32_t>(counters.brk);
  }
  return Result(0);
}

std::int32_t SerialDevice::Close() {
  if (fd_ >= 0) {
    // A request written just before (the "P0\r" of a cancelled choice) must still
    // reach the radio. Output that flow control holds back past the wait is
    // discarded: close() would otherwise wait up to the driver's closing time (30 s).
    discardedAtClose_ = WaitForOutputToLeave();
    if (discardedAtClose_ != 0) ::tcflush(fd_, TCOFLUSH);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    std::lock_guard lock(queueMutex_);
    queue_.Clear();
  }
  return 0;
}

int SerialDevice::QueuedOutput() const {
  int queued = 0;
  return ::ioctl(fd_, TIOCOUTQ, &queued) == 0 ? queued : -1;
}

std::size_t SerialDevice::WaitForOutputToLeave() {
  // A pty reports nothing queued: what its other side has not read yet has left
  // this side's driver. A close keeps it; an output flush would drop part of it.
  int queued = QueuedOutput();
  if (queued <= 0) return 0;
  termios attributes {};
  const std::uint32_t baudRate = ::tcgetattr(fd_, &attributes) == 0 ? OutputBaudRate(attributes) : 0;
  constexpr std::uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
  const auto wireTime =
      baudRate == 0 ? kOutputDrainLimit
                    : std::chrono::milliseconds(static_cast<std::uint64_t>(queued) * kBitsPerByte *
                                                1000 / baudRate);
  const auto deadline = Clock::now() + std::min(wireTime + kOutputDrainMargin, kOutputDrainLimit);
  while (queued > 0) {
    if (Clock::now() >= deadline) return static_cast<std::size_t>(queued);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    queued = QueuedOutput();
  }
  return 0;
}

std::int32_t SerialDevice::ApplyAttributes(const termios& attributes) {
  if (::tcsetattr(fd_, TCSANOW, &attributes) != 0) return Result(errno);
  return Result(0);
}

void SerialDevice::SetModemLines(int raise, int lower) {
  // A pty has no modem lines: their ioctls fail there, which changes nothing.
  if (raise != 0) ::ioctl(fd_, TIOCMBIS, &raise);
  if (lower != 0) ::ioctl(fd_, TIOCMBIC, &lower);
}

std::int32_t SerialDevice::SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                                         int stopBits) {
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) != 0) return Result(errno);
  if (!ApplyLineFormat(attributes, baudRate, dataBits, parity, stopBits)) return Result(EINVAL);
  return ApplyAttributes(attributes);
}

std::int32_t SerialDevice::SetFlowControl(int kind) {
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) != 0) return Result(errno);
  if (!ApplyFlowControl(attributes, kind)) return Result(kResultInvalidArgument);
  const std::int32_t result = ApplyAttributes(attributes);
  if (result != 0) return result;
  if (kind == FlowHardware) {
    SetModemLines(TIOCM_DTR | TIOCM_RTS, 0);
  } else {
    SetModemLines(0, TIOCM_DTR | TIOCM_RTS);
  }
  return Result(0);
}

void SerialDevice::SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) {
  if (!IsOpen()) return;
  writePerByteMs_ = perByteMs;
  writeConstantMs_ = constantMs;
}

std::int32_t SerialDevice::SetEventCharacter(char character, bool addToMask) {
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);
  if (addToMask) {
    const std::int32_t result = SetEventMask(eventMask_.load() | kEventFlagChar);
    if (result != 0) return result;
  }
  eventCharacter_.store(static_cast<unsigned char>(character));
  return Result(0);
}

std::int32_t SerialDevice::SetEventMask(std::uint32_t mask) {
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);
  eventMask_.store(mask);
  return Result(0);
}

std::int32_t SerialDevice::SetReadMode(int mode) {
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);
  if (mode != ReadNonBlocking && mode != ReadBlocking) return Result(kResultInvalidArgument);
  readMode_.store(mode);
  return Result(0);
}

void SerialDevice::Purge() {
  if (!IsOpen()) return;
  // Under the queue's lock, so a byte the watcher is moving lands either before
  // the purge (and is discarded) or after it (and is kept), never half-way.
  std::lock_guard lock(queueMutex_);
  ::tcflush(fd_, TCOFLUSH);
  DiscardDeviceInput();
  queue_.Clear();
}

void SerialDevice::DiscardDeviceInput() {
  // The answer handler purges after every answer, and an input flush (TCIFLUSH)
  // costs tens of microseconds a call on some drivers (on a pseudo-terminal it
  // also wakes the other side); so does a read that finds nothing. Usually the
  // watcher (or the caller's loop) has moved everything: then the count of
  // waiting bytes is 0 and there is nothing to flush. The events of flushed
  // bytes are not noted: they are gone.
  int waiting = 0;
  if (::ioctl(fd_, FIONREAD, &waiting) == 0 && waiting == 0) return;
  ::tcflush(fd_, TCIFLUSH);
}

std::uint32_t SerialDevice::TakeEvents() { return eventsSeen_.exchange(0) & eventMask_.load(); }

std::uint32_t SerialDevice::TakeLineErrors() { return lineErrors_.exchange(0); }

SerialDevice::InputResult SerialDevice::PumpInput() {
  InputResult result;
  {
    std::lock_guard lock(queueMutex_);
    result = PumpLocked();
  }
  if (result == InputResult::Received) queueGrew_.notify_all();
  return result;
}

SerialDevice::InputResult SerialDevice::PumpLocked() {
  std::uint32_t events = 0;
  std::uint32_t errors = 0;
  InputResult result = InputResult::Nothing;
  std::uint8_t chunk[4096];
  const auto eventCharacter = static_cast<std::uint8_t>(eventCharacter_.load());
  for (;;) {
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (got <= 0) {  // end of file or EIO: the adapter was unplugged, the pty's other side closed
      if (result == InputResult::Nothing) result = InputResult::DeviceGone;
      break;
    }
    const auto size = static_cast<std::size_t>(got);
    result = InputResult::Received;
    events |= kEventCharArrived;
    // The event character counts when it arrives, even if the full queue
    // drops it: the reader then empties the queue and the link recovers.
    if (std::memchr(chunk, eventCharacter, size) != nullptr) events |= kEventFlagChar;
    if (queue_.Push(chunk, size) < size) {
      errors |= kLineErrorOverrun;
      events |= kEventLineError;
    }
    if (size < sizeof chunk) break;
  }
  NoteCounterChanges(events, errors);
  if (events != 0) eventsSeen_.fetch_or(events);
  if (errors != 0) lineErrors_.fetch_or(errors);
  return result;
}

void SerialDevice::NoteCounterChanges(std::uint32_t& events, std::uint32_t& errors) {
  if (!countersKept_) return;
  serial_icounter_struct counters {};
  if (::ioctl(fd_, TIOCGICOUNT, &counters) != 0) return;
  const auto frames = static_cast<std::uint32_t>(counters.frame);
  const auto parity = static_cast<std::uint32_t>(counters.parity);
  const auto overruns = static_cast<std::uint32_t>(counters.overrun + counters.buf_overrun);
  const auto breaks = static_cast<std::uint32_t>(counters.brk);
  if (frames != framesSeen_) errors |= kLineErrorFraming;
  if (parity != paritySeen_) errors |= kLineErrorParity;
  if (overruns != overrunsSeen_) errors |= kLineErrorOverrun;
  if ((errors & (kLineErrorFraming | kLineErrorParity | kLineErrorOverrun)) != 0) {
    events |= kEventLineError;
  }
  if (breaks != breaksSeen_) {
    errors |= kLineErrorBreak;
    events |= kEventBreak;
  }
  framesSeen_ = frames;
  paritySeen_ = parity;
  overrunsSeen_ = overruns;
  breaksSeen_ = breaks;
}

std::int32_t SerialDevice::Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) {
  return Read(buffer, size, countOut, kSerialWaitForever);
}

std::int32_t SerialDevice::Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut,
                                std::uint32_t timeoutMs) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);

  const bool blocking = readMode_.load() == ReadBlocking;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(queueMutex_);
  for (;;) {
    // Without a watcher the reader moves the input itself.
    if (!watcherPumping_.load()) PumpLocked();
    count += queue_.Pop(buffer + count, size - count);
    if (!blocking || count == size) return Result(0);
    if (timeoutMs != kSerialWaitForever && Clock::now() >= deadline) {
      return Result(kResultTimeout);
    }
    // Short waits: without a watcher nobody signals the queue.
    queueGrew_.wait_for(lock, std::chrono::milliseconds(10));
  }
}

std::int32_t SerialDevice::Write(const std::uint8_t* data, std::size_t size,
                                 std::size_t* countOut) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  lastError_.store(0);
  if (!IsOpen()) return Result(kResultInvalidHandle);

  const bool bounded = writePerByteMs_ != 0 || writeConstantMs_ != 0;
  const auto limit = std::chrono::milliseconds(
      std::uint64_t{writePerByteMs_} * size + std::uint64_t{writeConstantMs_});
  const auto deadline = Clock::now() + limit;
  bool readyWithoutRoom = false;
  while (count < size) {
    const ssize_t written = ::write(fd_, data + count, size - count);
    if (written > 0) {
      count += static_cast<std::size_t>(written);
      readyWithoutRoom = false;
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Result(errno);

    int waitMs = 10;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return Result(kResultTimeout);
      if (left.count() < waitMs) waitMs = static_cast<int>(left.count());
    }
    pollfd output{fd_, POLLOUT, 0};
    const int ready = ::poll(&output, 1, waitMs);
    // Some ttys report room that the next write does not find: do not spin on it.
    if (ready > 0) {
      if (readyWithoutRoom) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      readyWithoutRoom = true;
    }
  }
  return Result(0);
}

}  // namespace flash
