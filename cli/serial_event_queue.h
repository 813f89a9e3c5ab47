#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "link/serial_notify_target.h"

namespace flash {

// One notification of the serial watcher: events in the low 16 bits of
// firstParam, line error flags in the high 16 bits.
struct SerialNotification {
  std::uint32_t message = 0;
  std::uint32_t firstParam = 0;
};

// Carries the serial watcher thread's notifications to the main thread's poll
// loop: the watcher queues them and wakes the loop through an eventfd.
class SerialEventQueue final : public SerialNotifyTarget {
 public:
  SerialEventQueue();
  ~SerialEventQueue() override;
  SerialEventQueue(const SerialEventQueue&) = delete;
  SerialEventQueue& operator=(const SerialEventQueue&) = delete;

  bool ok() const { return fd_ >= 0; }
  // Readable while notifications wait.
  int fd() const { return fd_; }

  // Watcher thread: only queues.
  void PostSerialNotify(std::uint32_t message, std::uint32_t firstParam,
                        std::intptr_t userValue) override;
  // Main thread: everything queued so far, oldest first.
  std::vector<SerialNotification> Drain();

 private:
  int fd_ = -1;
  std::mutex mutex_;
  std::vector<SerialNotification> queue_;
};

}  // namespace flash
