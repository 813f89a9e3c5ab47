#include "link/serial_input_queue.h"

#include <algorithm>
#include <cstring>

#include "engine/radio_links.h"

namespace flash {

SerialInputQueue::SerialInputQueue(std::size_t capacity) : ring_(capacity) {}

void SerialInputQueue::Reset(std::size_t capacity) {
  ring_.assign(capacity, 0);
  Clear();
}

SerialInput SerialInputQueue::Push(const std::uint8_t* data, std::size_t size) {
  SerialInput input;
  if (size == 0) return input;
  input.events = kEventCharArrived;
  if (std::memchr(data, eventCharacter_, size) != nullptr) input.events |= kEventFlagChar;
  const std::size_t accepted = std::min(size, ring_.size() - count_);
  for (std::size_t i = 0; i < accepted; ++i) {
    ring_[(head_ + count_ + i) % ring_.size()] = data[i];
  }
  count_ += accepted;
  if (accepted < size) {
    input.events |= kEventLineError;
    input.errors |= kLineErrorOverrun;
  }
  return input;
}

std::size_t SerialInputQueue::Pop(std::uint8_t* buffer, std::size_t size) {
  const std::size_t taken = std::min(size, count_);
  for (std::size_t i = 0; i < taken; ++i) {
    buffer[i] = ring_[(head_ + i) % ring_.size()];
  }
  if (taken > 0) head_ = (head_ + taken) % ring_.size();
  count_ -= taken;
  return taken;
}

void SerialInputQueue::Clear() {
  head_ = 0;
  count_ = 0;
}

}  // namespace flash
