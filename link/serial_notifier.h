#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/serial_notify_target.h"
#include "link/serial_watcher.h"

namespace flash {

// The id of the notification when the opener gives 0 (the message the program
// registers as "SerialNotify_DefaultComMsg").
inline constexpr std::uint32_t kSerialNotifyDefaultMessage = 0xC0DE;

// Adds the notification: every batch of events is posted to the target, with
// the line errors in the high 16 bits of the first parameter. The post only
// queues the event for the target's own thread; the watcher never waits for it.
class SerialNotifier : public SerialWatcher {
 public:
  SerialNotifier() = default;
  ~SerialNotifier() override;

  using SerialWatcher::Open;
  // Opens the port and starts the watcher, which posts to target (which may be
  // null: the events are then only taken).
  virtual std::int32_t Open(const std::string& deviceName, SerialNotifyTarget* target,
                            std::uint32_t message, std::intptr_t userValue,
                            std::uint32_t inQueueSize, std::uint32_t outQueueSize);
  // Forgets the target, so nothing is posted once Close returns, then closes.
  std::int32_t Close() override;

 protected:
  void OnCommEvent(std::uint32_t events, std::uint32_t errors) override;

 private:
  std::atomic<SerialNotifyTarget*> target_{nullptr};
  std::atomic<std::uint32_t> message_{0};
  std::atomic<std::intptr_t> userValue_{0};
};

}  // namespace flash
