#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flash {

// The bytes the port has received and nobody has read yet: a ring of fixed size
// standing in for the driver's input buffer. Not synchronised: its owner guards it.
class SerialInputQueue {
 public:
  explicit SerialInputQueue(std::size_t capacity);

  // Empties the queue and gives it a new size.
  void Reset(std::size_t capacity);
  // Answers how many bytes fitted; the rest are lost, as in a full driver buffer.
  std::size_t Push(const std::uint8_t* data, std::size_t size);
  std::size_t Pop(std::uint8_t* buffer, std::size_t size);
  void Clear();

  std::size_t size() const { return count_; }
  std::size_t capacity() const { return ring_.size(); }

 private:
  std::vector<std::uint8_t> ring_;
  std::size_t head_ = 0;  // oldest byte
  std::size_t count_ = 0;
};

}  // namespace flash
