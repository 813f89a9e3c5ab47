#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flash {

// What a batch of input brought: comm event bits and line error flags.
struct SerialInput {
  std::uint32_t events = 0;
  std::uint32_t errors = 0;
};

// The bytes the port has received and nobody has read yet: a ring of fixed size
// standing in for the driver's input buffer, which notes the arrival of the
// event character (the CR that ends every answer of the radio).
class SerialInputQueue {
 public:
  explicit SerialInputQueue(std::size_t capacity);

  // Empties the queue and gives it a new size.
  void Reset(std::size_t capacity);
  void SetEventCharacter(std::uint8_t character) { eventCharacter_ = character; }
  // Keeps what fits; the rest is lost, as in a full driver buffer. Answers a
  // character arrival, the event character's arrival (also when the full queue
  // drops it: the reader then empties the queue and the link recovers), and an
  // overrun line error when bytes were lost.
  SerialInput Push(const std::uint8_t* data, std::size_t size);
  std::size_t Pop(std::uint8_t* buffer, std::size_t size);
  void Clear();

 private:
  std::vector<std::uint8_t> ring_;
  std::size_t head_ = 0;  // oldest byte
  std::size_t count_ = 0;
  std::uint8_t eventCharacter_ = 0;
};

}  // namespace flash
