#include "cli/serial_event_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace flash {

SerialEventQueue::SerialEventQueue() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SerialEventQueue::~SerialEventQueue() {
  if (fd_ >= 0) ::close(fd_);
}

void SerialEventQueue::PostSerialNotify(std::uint32_t message, std::uint32_t firstParam,
                                        std::intptr_t) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back({message, firstParam});
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(fd_, &one, sizeof one);
}

std::vector<SerialNotification> SerialEventQueue::Drain() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t ignored = ::read(fd_, &count, sizeof count);
  std::vector<SerialNotification> taken;
  std::lock_guard lock(mutex_);
  taken.swap(queue_);
  return taken;
}

}  // namespace flash
