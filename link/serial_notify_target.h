#pragma once

#include <cstdint>

namespace flash {

// Where the serial watcher thread hands its events. Called on the watcher
// thread: an implementation only queues the event for the main thread (a posted
// message), it never calls into the window or the engine directly.
class SerialNotifyTarget {
 public:
  virtual ~SerialNotifyTarget() = default;
  // firstParam: events in the low 16 bits, line error flags in the high 16 bits.
  virtual void PostSerialNotify(std::uint32_t message, std::uint32_t firstParam,
                                std::intptr_t userValue) = 0;
};

}  // namespace flash
