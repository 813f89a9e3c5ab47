#pragma once

#include <cstdint>

namespace flash {

struct UtcTimeOfDay {
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  unsigned millisecond = 0;
};

// Time is injected so that tests run on a virtual clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Calendar time in whole seconds.
  virtual std::int64_t CalendarSeconds() = 0;
  // The time of day in UTC, with milliseconds.
  virtual UtcTimeOfDay UtcNow() = 0;
};

}  // namespace flash
