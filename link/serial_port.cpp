#include "link/serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <optional>
#include <thread>

#include "link/device_holder.h"
#include "link/serial_output_drain.h"
#include "link/serial_permission_hint.h"
#include "link/serial_termios.h"

namespace flash {
namespace {

using SteadyClock = std::chrono::steady_clock;

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

// The descriptor, or -1 with the reason in *error.
int OpenExclusive(const std::string& deviceName, int* error) {
  *error = 0;
  const int fd = ::open(deviceName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  if (!::isatty(fd)) {
    *error = ENOTTY;
    ::close(fd);
    return -1;
  }
  // The lock refuses a second opening even to root, whom TIOCEXCL lets through;
  // TIOCEXCL also refuses programs that do not take the lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = (errno == EWOULDBLOCK) ? EBUSY : errno;
    ::close(fd);
    return -1;
  }
  ::ioctl(fd, TIOCEXCL);
  return fd;
}

// Who holds a busy device, when that can be found out: the user can then close
// that program (a terminal left open, a modem manager probing the port).
std::string InUseReason(const std::string& deviceName) {
  const std::optional<DeviceHolder> holder = FindDeviceHolder(deviceName);
  if (!holder) return "it is in use by another program";
  return "it is in use by " + (holder->name.empty() ? std::string("a program") : holder->name) +
         " (process " + std::to_string(holder->pid) + ")";
}

// The permission advice as a clause of the reason: the message goes on after it.
std::string NoPermissionReason(const std::string& deviceName) {
  std::string hint = SerialPermissionHint(deviceName);
  if (!hint.empty()) {
    hint.front() = static_cast<char>(std::tolower(static_cast<unsigned char>(hint.front())));
  }
  if (hint.ends_with('.')) hint.pop_back();
  return hint;
}

// Why a device could not be opened, as the user is told it: a clause that the
// message about the port goes on from.
std::string UnavailableReasonFor(const std::string& deviceName, int error) {
  switch (error) {
    case 0:
      return {};
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "it does not exist (is the cable or the USB adapter plugged in?)";
    case EIO:
      return "there is no serial device behind it";
    case EBUSY:
    case EWOULDBLOCK:
      return InUseReason(deviceName);
    case EACCES:
    case EPERM:
      return NoPermissionReason(deviceName);
    case ENOTTY:
      return "it is not a serial port";
    default:
      return std::strerror(error);
  }
}

// An opening that failed, as the port's checks sort it: a port held by another
// program is busy whatever the system's number for it.
LinkResult OpenFailure(int error) {
  switch (Classify(error)) {
    case PortNotPresent:
      return {LinkStatus::NotPresent, error};
    case PortInUse:
      return {error == EACCES || error == EPERM ? LinkStatus::NoPermission : LinkStatus::Busy,
              error};
    default:
      return LinkResultOf(error);
  }
}

}  // namespace

SerialPort::SerialPort() : queue_(kDefaultInQueueSize) {}

SerialPort::~SerialPort() { Close(); }

PortAvailability SerialPort::CheckPortAvailable(const std::string& deviceName) {
  int error = 0;
  const int fd = OpenExclusive(deviceName, &error);
  if (fd >= 0) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
  }
  reason_ = UnavailableReasonFor(deviceName, error);
  return Classify(error);
}

LinkResult SerialPort::Open(const std::string& deviceName, std::uint32_t inQueueSize,
                            std::uint32_t /*outQueueSize*/) {
  if (IsOpen()) return {LinkStatus::Busy, 0};
  int error = 0;
  const int fd = OpenExclusive(deviceName, &error);
  if (fd < 0) return OpenFailure(error);
  fd_ = fd;
  discardedAtClose_ = 0;
  queue_.Reset(inQueueSize != 0 ? inQueueSize : kDefaultInQueueSize);
  queue_.SetEventCharacter(0);
  eventMask_ = kOpenEventMask;
  writePerByteMs_ = kDefaultWritePerByteMs;
  writeConstantMs_ = kDefaultWriteConstantMs;

  // Failures here do not fail the opening (a pty refuses some of it).
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) == 0) {
    ApplyOpeningDefaults(attributes);
    ::tcsetattr(fd_, TCSANOW, &attributes);
  }
  // Answers of a few bytes should not wait for the driver's latency timer
  // (16 ms on many USB adapters); ports without the setting are fine as they are.
  serial_struct serial {};
  if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd_, TIOCSSERIAL, &serial);
  }
  pump_.Start(fd_);
  if (listener_) listener_(fd_);
  return kLinkOk;
}

LinkResult SerialPort::Close() {
  if (fd_ < 0) return kLinkOk;
  if (listener_) listener_(-1);
  // A request written just before (the "P0\r" of a cancelled choice) must still
  // reach the radio. Output that flow control holds back past the wait is
  // discarded: close() would otherwise wait up to the driver's closing time (30 s).
  // A pty reports nothing queued: what its other side has not read yet has left
  // this side's driver. A close keeps it; an output flush would drop part of it.
  termios attributes {};
  const std::uint32_t baudRate = ::tcgetattr(fd_, &attributes) == 0 ? OutputBaudRate(attributes) : 0;
  const int fd = fd_;
  discardedAtClose_ = WaitForOutputToLeave(
      [fd] {
        int queued = 0;
        return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : -1;
      },
      baudRate);
  if (discardedAtClose_ != 0) ::tcflush(fd_, TCOFLUSH);
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
  queue_.Clear();
  return kLinkOk;
}

SerialPort::Input SerialPort::ServiceInput() {
  Input input;
  if (!IsOpen()) return input;
  const SerialInputPump::Result pumped = pump_.Pump(fd_, queue_);
  input.events = pumped.input.events & eventMask_;
  if (input.events != 0) input.errors = pumped.input.errors;
  input.deviceGone = pumped.deviceGone;
  return input;
}

LinkResult SerialPort::ApplyAttributes(const termios& attributes) {
  return LinkResultOf(::tcsetattr(fd_, TCSANOW, &attributes) == 0 ? 0 : errno);
}

void SerialPort::SetModemLines(int raise, int lower) {
  // A pty has no modem lines: their ioctls fail there, which changes nothing.
  if (raise != 0) ::ioctl(fd_, TIOCMBIS, &raise);
  if (lower != 0) ::ioctl(fd_, TIOCMBIC, &lower);
}

LinkResult SerialPort::SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                                     int stopBits) {
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) != 0) return LinkResultOf(errno);
  if (!ApplyLineFormat(attributes, baudRate, dataBits, parity, stopBits)) {
    return {LinkStatus::InvalidArgument, 0};
  }
  return ApplyAttributes(attributes);
}

LinkResult SerialPort::SetFlowControl(int kind) {
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};
  termios attributes {};
  if (::tcgetattr(fd_, &attributes) != 0) return LinkResultOf(errno);
  if (!ApplyFlowControl(attributes, kind)) return {LinkStatus::InvalidArgument, 0};
  if (const LinkResult result = ApplyAttributes(attributes); !result.ok()) return result;
  if (kind == FlowHardware) {
    SetModemLines(TIOCM_DTR | TIOCM_RTS, 0);
  } else {
    SetModemLines(0, TIOCM_DTR | TIOCM_RTS);
  }
  return kLinkOk;
}

void SerialPort::SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) {
  if (!IsOpen()) return;
  writePerByteMs_ = perByteMs;
  writeConstantMs_ = constantMs;
}

LinkResult SerialPort::SetEventCharacter(char character, bool addToMask) {
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};
  if (addToMask) eventMask_ |= kEventFlagChar;
  queue_.SetEventCharacter(static_cast<std::uint8_t>(character));
  return kLinkOk;
}

LinkResult SerialPort::SetEventMask(std::uint32_t mask) {
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};
  eventMask_ = mask;
  return kLinkOk;
}

void SerialPort::Purge() {
  if (!IsOpen()) return;
  ::tcflush(fd_, TCOFLUSH);
  // The answer handler purges after every answer, and an input flush (TCIFLUSH)
  // costs tens of microseconds a call on some drivers (on a pseudo-terminal it
  // also wakes the other side); so does a read that finds nothing. Usually the
  // event loop has moved everything: then the count of waiting bytes is 0 and
  // there is nothing to flush. The events of flushed bytes are not noted: they
  // are gone.
  int waiting = 0;
  if (::ioctl(fd_, FIONREAD, &waiting) != 0 || waiting != 0) ::tcflush(fd_, TCIFLUSH);
  queue_.Clear();
}

LinkResult SerialPort::Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};
  count = queue_.Pop(buffer, size);
  return kLinkOk;
}

LinkResult SerialPort::Write(const std::uint8_t* data, std::size_t size, std::size_t* countOut) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  if (!IsOpen()) return {LinkStatus::NotOpen, 0};

  const bool bounded = writePerByteMs_ != 0 || writeConstantMs_ != 0;
  const auto limit = std::chrono::milliseconds(
      std::uint64_t{writePerByteMs_} * size + std::uint64_t{writeConstantMs_});
  const auto deadline = SteadyClock::now() + limit;
  bool readyWithoutRoom = false;
  while (count < size) {
    const ssize_t written = ::write(fd_, data + count, size - count);
    if (written > 0) {
      count += static_cast<std::size_t>(written);
      readyWithoutRoom = false;
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return LinkResultOf(errno);

    int waitMs = 10;
    if (bounded) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
      if (left.count() <= 0) return {LinkStatus::TimedOut, 0};
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
  return kLinkOk;
}

}  // namespace flash
