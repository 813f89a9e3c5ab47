#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace flash::sim {

// The line the radio's timing is modelled on.
inline constexpr int kWireBaud = 57600;
inline constexpr int kWireBitsPerByte = 10;  // start bit, 8 data bits, stop bit
// Between two answers to one request, so that a serial reader takes each on its own.
inline constexpr std::chrono::milliseconds kAnswerGap{20};

// Answers waiting for their moment, in the order they were given. The radio-sim
// program's poll loop sleeps until next() and sends what TakeDue() returns.
class AnswerSchedule {
 public:
  using Clock = std::chrono::steady_clock;
  struct Answer {
    std::uint64_t destination = 0;  // whom to send it to (the UDP sender); 0 on a serial line
    std::string bytes;
  };

  AnswerSchedule(std::chrono::milliseconds delay, bool wirePaced);

  void Add(std::size_t requestLength, const std::vector<std::string>& answers,
           std::uint64_t destination, Clock::time_point now);
  std::vector<Answer> TakeDue(Clock::time_point now);
  std::optional<Clock::time_point> next() const;
  bool empty() const { return queue_.empty(); }

  static std::chrono::microseconds WireTime(std::size_t bytes);

 private:
  struct Entry {
    Clock::time_point due;
    Answer answer;
  };
  std::chrono::milliseconds delay_;
  bool wirePaced_;
  std::deque<Entry> queue_;
};

}  // namespace flash::sim
