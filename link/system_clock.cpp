#include "link/system_clock.h"

#include <chrono>

namespace flash {

std::int64_t SystemClock::CalendarSeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

UtcTimeOfDay SystemClock::UtcNow() {
  using namespace std::chrono;
  const auto sinceEpoch = system_clock::now().time_since_epoch();
  const auto sinceMidnight = sinceEpoch - duration_cast<days>(sinceEpoch);
  const hh_mm_ss<milliseconds> t{duration_cast<milliseconds>(sinceMidnight)};
  UtcTimeOfDay out;
  out.hour = static_cast<unsigned>(t.hours().count());
  out.minute = static_cast<unsigned>(t.minutes().count());
  out.second = static_cast<unsigned>(t.seconds().count());
  out.millisecond = static_cast<unsigned>(t.subseconds().count());
  return out;
}

}  // namespace flash
