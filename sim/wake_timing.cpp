#include "sim/wake_timing.h"

#include <sys/prctl.h>

namespace flash::sim {

timespec PollTimeoutUntil(std::optional<std::chrono::steady_clock::time_point> wake,
                          std::chrono::steady_clock::time_point now) {
  if (!wake) return {1, 0};
  const auto left = *wake - kWakeEarly - now;
  if (left <= std::chrono::steady_clock::duration::zero()) return {0, 0};
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

void RequestPreciseTimers() {
  // 1 ns is the smallest slack the kernel takes; 0 would mean "the default".
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

}  // namespace flash::sim
