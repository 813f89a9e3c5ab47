#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace flash {

// The wait at close for queued output to leave: the queued bytes' wire time
// plus this margin, at most the limit.
inline constexpr auto kOutputDrainMargin = std::chrono::milliseconds{200};
inline constexpr auto kOutputDrainLimit = std::chrono::milliseconds{2000};

// Waits until queuedOutput() (the bytes the driver holds for the wire; -1 when
// it cannot tell, as for a device that is gone) reports none, at most the wire
// time at baudRate (0: unknown, the limit) of what was queued first plus the
// margin. Answers the bytes still queued when the wait ran out, else 0.
std::size_t WaitForOutputToLeave(const std::function<int()>& queuedOutput, std::uint32_t baudRate);

}  // namespace flash
