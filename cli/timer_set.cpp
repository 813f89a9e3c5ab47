#include "cli/timer_set.h"

#include <algorithm>
#include <utility>

namespace flash {

void TimerSet::Start(int id, std::chrono::milliseconds period, TimePoint now) {
  // A zero period would expire in a busy loop.
  period = std::max(period, std::chrono::milliseconds{1});
  timers_[id] = Timer{period, now + period};
}

void TimerSet::Stop(int id) { timers_.erase(id); }

std::optional<TimerSet::TimePoint> TimerSet::NextDeadline() const {
  std::optional<TimePoint> next;
  for (const auto& [id, timer] : timers_) {
    if (!next || timer.deadline < *next) next = timer.deadline;
  }
  return next;
}

std::vector<int> TimerSet::TakeDue(TimePoint now) {
  std::vector<std::pair<TimePoint, int>> due;
  for (auto& [id, timer] : timers_) {
    if (timer.deadline > now) continue;
    due.emplace_back(timer.deadline, id);
    // A late loop gives one expiry, as a window timer does, never a burst.
    timer.deadline += timer.period;
    if (timer.deadline <= now) timer.deadline = now + timer.period;
  }
  std::sort(due.begin(), due.end());
  std::vector<int> ids;
  for (const auto& entry : due) ids.push_back(entry.second);
  return ids;
}

}  // namespace flash
