#include "link/serial_output_drain.h"

#include <algorithm>
#include <thread>

namespace flash {

std::size_t WaitForOutputToLeave(const std::function<int()>& queuedOutput, std::uint32_t baudRate) {
  using SteadyClock = std::chrono::steady_clock;
  int queued = queuedOutput();
  if (queued <= 0) return 0;
  constexpr std::uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
  const auto wireTime =
      baudRate == 0 ? kOutputDrainLimit
                    : std::chrono::milliseconds(static_cast<std::uint64_t>(queued) * kBitsPerByte *
                                                1000 / baudRate);
  const auto deadline = SteadyClock::now() + std::min(wireTime + kOutputDrainMargin, kOutputDrainLimit);
  while (queued > 0) {
    if (SteadyClock::now() >= deadline) return static_cast<std::size_t>(queued);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    queued = queuedOutput();
  }
  return 0;
}

}  // namespace flash
