#include "link/serial_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace flash {

SerialWatcher::~SerialWatcher() { SerialWatcher::Close(); }

std::int32_t SerialWatcher::Open(const std::string& deviceName, std::uint32_t inQueueSize,
                                 std::uint32_t outQueueSize) {
  const std::int32_t result = SerialDevice::Open(deviceName, inQueueSize, outQueueSize);
  if (result != 0) return result;
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) {
    const int error = errno;
    SerialDevice::Close();
    return Result(error);
  }
  return Result(0);
}

std::int32_t SerialWatcher::Close() {
  StopWatcher();
  if (stopFd_ >= 0) {
    ::close(stopFd_);
    stopFd_ = -1;
  }
  return SerialDevice::Close();
}

std::int32_t SerialWatcher::StartWatcher() {
  if (watcher_.joinable()) return 0;
  if (!IsOpen() || stopFd_ < 0) return Result(kResultInvalidHandle);
  // From here reads only take from the queue: the watcher or the caller's loop moves the input.
  SetWatcherPumping(true);
  if (inputLeftToCaller_) return 0;
  try {
    watcher_ = std::thread(&SerialWatcher::WatcherLoop, this);
  } catch (const std::system_error& failure) {
    SetWatcherPumping(false);
    return Result(failure.code().value());
  }
  return 0;
}

std::int32_t SerialWatcher::StopWatcher() {
  if (!watcher_.joinable()) {
    SetWatcherPumping(false);
    return 0;
  }
  const std::uint64_t one = 1;
  while (::write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  watcher_.join();
  std::uint64_t drained = 0;
  while (::read(stopFd_, &drained, sizeof drained) < 0 && errno == EINTR) {
  }
  SetWatcherPumping(false);
  return 0;
}

SerialDevice::InputResult SerialWatcher::MoveInputAndReport() {
  const InputResult input = PumpInput();
  const std::uint32_t events = TakeEvents();
  const std::uint32_t errors = TakeLineErrors();
  if (events != 0) OnCommEvent(events, errors);
  return input;
}

bool SerialWatcher::ServiceInput() {
  if (!IsOpen()) return false;
  if (MoveInputAndReport() != InputResult::DeviceGone) return true;
  Result(EIO);
  return false;
}

void SerialWatcher::WatcherLoop() {
  pollfd waits[2] = {{stopFd_, POLLIN, 0}, {deviceFd(), POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(waits, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Result(errno);
      return;
    }
    if (waits[0].revents != 0) return;
    if (waits[1].revents == 0) continue;

    const InputResult input = MoveInputAndReport();

    // A device that is gone keeps reporting a hang-up: end quietly instead of spinning.
    const bool failed = (waits[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (input == InputResult::DeviceGone || (failed && input != InputResult::Received)) {
      Result(EIO);
      return;
    }
  }
}

}  // namespace flash
