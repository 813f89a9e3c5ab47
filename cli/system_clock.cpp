#include "cli/system_clock.h"

#include <ctime>

namespace flash {

std::int64_t SystemClock::CalendarSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

UtcTimeOfDay SystemClock::UtcNow() {
  timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm parts {};
  gmtime_r(&now.tv_sec, &parts);
  UtcTimeOfDay t;
  t.hour = static_cast<unsigned>(parts.tm_hour);
  t.minute = static_cast<unsigned>(parts.tm_min);
  t.second = static_cast<unsigned>(parts.tm_sec);
  t.millisecond = static_cast<unsigned>(now.tv_nsec / 1000000);
  return t;
}

}  // namespace flash
