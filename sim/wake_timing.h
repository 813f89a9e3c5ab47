#pragma once

#include <time.h>

#include <chrono>
#include <optional>

namespace flash::sim {

// A sleeping process wakes tens of microseconds after its timer (more on a busy
// or virtual machine), which would make every paced answer late by as much. The
// poll loop therefore sleeps only until this long before an answer is due and
// polls without sleeping from there.
inline constexpr std::chrono::microseconds kWakeEarly{250};

// The poll timeout for a loop that must act at wake: none (a second) without a
// wake, otherwise up to kWakeEarly before it, and zero from there on.
timespec PollTimeoutUntil(std::optional<std::chrono::steady_clock::time_point> wake,
                          std::chrono::steady_clock::time_point now);

// The earlier of two wakes; none when neither is set.
inline std::optional<std::chrono::steady_clock::time_point> EarliestWake(
    std::optional<std::chrono::steady_clock::time_point> a,
    std::optional<std::chrono::steady_clock::time_point> b) {
  if (!a) return b;
  if (!b) return a;
  return *a < *b ? a : b;
}

// Asks the kernel not to defer this process's timer expiries (by default it may
// add 50 µs to group wake-ups).
void RequestPreciseTimers();

}  // namespace flash::sim
