#pragma once

#include <cstdint>

#include "link/serial_input_queue.h"

namespace flash {

// Moves what a serial device has received into the input queue and tells what
// came with it: the queue's events, and the line errors and breaks that the
// driver counted meanwhile (devices that keep counters: real UARTs and most USB
// adapters, not pseudo-terminals).
class SerialInputPump {
 public:
  struct Result {
    SerialInput input;
    bool deviceGone = false;  // unplugged, or a pseudo-terminal whose other side closed
  };

  // Takes the counters of a newly opened device as the starting point.
  void Start(int fd);
  // Reads until the device has nothing more.
  Result Pump(int fd, SerialInputQueue& queue);

 private:
  void NoteCounterChanges(int fd, SerialInput& input);

  bool countersKept_ = false;
  std::uint32_t framesSeen_ = 0, paritySeen_ = 0, overrunsSeen_ = 0, breaksSeen_ = 0;
};

}  // namespace flash
