#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace flash {

// The window timers of the headless tool on the steady clock: each started timer
// expires after every period until it is stopped.
class TimerSet {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // Starting a running timer starts its period anew.
  void Start(int id, std::chrono::milliseconds period, TimePoint now);
  void Stop(int id);
  bool IsRunning(int id) const { return timers_.count(id) != 0; }
  std::optional<TimePoint> NextDeadline() const;
  // The timers due at now, earliest first; each is rearmed for its next period.
  // A timer stopped by an earlier expiry's handler must be checked with IsRunning.
  std::vector<int> TakeDue(TimePoint now);

 private:
  struct Timer {
    std::chrono::milliseconds period;
    TimePoint deadline;
  };
  std::map<int, Timer> timers_;
};

}  // namespace flash
