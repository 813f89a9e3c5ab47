#include "bench/busy_countdown_probe.h"

namespace flash::bench {
namespace {

// Keep equal to the engine's countdown in engine/record_transmission.cpp.
constexpr int kBusyCountdown = 50000;

[[gnu::noinline]] void BusyCountdown() {
  volatile int countdown = kBusyCountdown;
  while (countdown > 0) countdown = countdown - 1;
}

}  // namespace

std::chrono::nanoseconds TimeBusyCountdown() {
  const auto start = std::chrono::steady_clock::now();
  BusyCountdown();
  return std::chrono::steady_clock::now() - start;
}

}  // namespace flash::bench
