#pragma once

#include <cstdint>

#include "engine/clock.h"

namespace flash {

// The real clock: calendar seconds and the UTC time of day with milliseconds.
class SystemClock final : public Clock {
 public:
  std::int64_t CalendarSeconds() override;
  UtcTimeOfDay UtcNow() override;
};

}  // namespace flash
