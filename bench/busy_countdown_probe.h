#pragma once

#include <chrono>

namespace flash::bench {

// The fixed countdown at the start of every line step, as the engine runs it
// (the same 50000 iterations on a volatile counter), timed once.
std::chrono::nanoseconds TimeBusyCountdown();

}  // namespace flash::bench
