#include "sim/wake_timing.h"

#include <gtest/gtest.h>

namespace flash::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

long Nanoseconds(const timespec& t) { return t.tv_sec * 1'000'000'000L + t.tv_nsec; }

TEST(WakeTiming, WaitsASecondWhenNothingIsDue) {
  const timespec timeout = PollTimeoutUntil(std::nullopt, Clock::now());
  EXPECT_EQ(timeout.tv_sec, 1);
  EXPECT_EQ(timeout.tv_nsec, 0);
}

TEST(WakeTiming, SleepsUntilShortlyBeforeTheDueMoment) {
  const Clock::time_point now = Clock::now();
  const timespec timeout = PollTimeoutUntil(now + milliseconds{4687}, now);
  EXPECT_EQ(Nanoseconds(timeout), std::chrono::nanoseconds(milliseconds{4687} - kWakeEarly).count());
  EXPECT_EQ(timeout.tv_sec, 4);
}

TEST(WakeTiming, PollsWithoutSleepingOnceTheDueMomentIsNear) {
  const Clock::time_point now = Clock::now();
  EXPECT_EQ(Nanoseconds(PollTimeoutUntil(now + kWakeEarly, now)), 0);
  EXPECT_EQ(Nanoseconds(PollTimeoutUntil(now + microseconds{10}, now)), 0);
  EXPECT_EQ(Nanoseconds(PollTimeoutUntil(now - microseconds{10}, now)), 0);
  EXPECT_EQ(Nanoseconds(PollTimeoutUntil(now + kWakeEarly + microseconds{1}, now)), 1000);
}

}  // namespace
}  // namespace flash::sim
