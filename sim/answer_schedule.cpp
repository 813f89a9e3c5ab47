#include "sim/answer_schedule.h"

#include <algorithm>

namespace flash::sim {

AnswerSchedule::AnswerSchedule(std::chrono::milliseconds delay, bool wirePaced)
    : delay_(delay), wirePaced_(wirePaced) {}

std::chrono::microseconds AnswerSchedule::WireTime(std::size_t bytes) {
  return std::chrono::microseconds{static_cast<std::int64_t>(bytes) * kWireBitsPerByte *
                                   1'000'000 / kWireBaud};
}

void AnswerSchedule::Add(std::size_t requestLength, const std::vector<std::string>& answers,
                         std::uint64_t destination, Clock::time_point now) {
  Clock::time_point due = now + delay_;
  if (wirePaced_) due += WireTime(requestLength);
  bool firstOfRequest = true;
  for (const std::string& bytes : answers) {
    if (!firstOfRequest) due += kAnswerGap;
    if (wirePaced_) due += WireTime(bytes.size());
    // Answers never overtake one another.
    if (!queue_.empty()) due = std::max(due, queue_.back().due);
    queue_.push_back({due, {destination, bytes}});
    firstOfRequest = false;
  }
}

std::vector<AnswerSchedule::Answer> AnswerSchedule::TakeDue(Clock::time_point now) {
  std::vector<Answer> due;
  while (!queue_.empty() && queue_.front().due <= now) {
    due.push_back(std::move(queue_.front().answer));
    queue_.pop_front();
  }
  return due;
}

std::optional<AnswerSchedule::Clock::time_point> AnswerSchedule::next() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().due;
}

}  // namespace flash::sim
