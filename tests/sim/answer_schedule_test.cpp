#include "sim/answer_schedule.h"

#include <gtest/gtest.h>

namespace flash::sim {
namespace {

using Clock = AnswerSchedule::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

std::vector<std::string> Bytes(const std::vector<AnswerSchedule::Answer>& answers) {
  std::vector<std::string> out;
  for (const auto& a : answers) out.push_back(a.bytes);
  return out;
}

TEST(AnswerSchedule, AnswersAtOnceWithoutDelayOrPacing) {
  AnswerSchedule schedule(milliseconds{0}, false);
  const Clock::time_point now = Clock::now();
  schedule.Add(3, {"VER 1234\r"}, 0, now);
  EXPECT_EQ(schedule.next(), now);
  EXPECT_EQ(Bytes(schedule.TakeDue(now)), std::vector<std::string>{"VER 1234\r"});
  EXPECT_TRUE(schedule.empty());
  EXPECT_FALSE(schedule.next().has_value());
}

TEST(AnswerSchedule, DelaysEveryAnswer) {
  AnswerSchedule schedule(milliseconds{25}, false);
  const Clock::time_point now = Clock::now();
  schedule.Add(3, {"READY\r"}, 0, now);
  EXPECT_TRUE(schedule.TakeDue(now + milliseconds{24}).empty());
  EXPECT_EQ(Bytes(schedule.TakeDue(now + milliseconds{25})), std::vector<std::string>{"READY\r"});
}

TEST(AnswerSchedule, PacesByTheRequestAndAnswerBytesOnA57600BaudLine) {
  EXPECT_EQ(AnswerSchedule::WireTime(576), milliseconds{100});
  AnswerSchedule schedule(milliseconds{0}, true);
  const Clock::time_point now = Clock::now();
  // A 23-byte frame and its 4-byte echo: 270 bits, 4687 microseconds.
  schedule.Add(23, {":1E\r"}, 0, now);
  EXPECT_EQ(schedule.next(), now + microseconds{4687});
}

TEST(AnswerSchedule, SpacesTheAnswersOfOneRequestAndKeepsTheirOrder) {
  AnswerSchedule schedule(milliseconds{0}, false);
  const Clock::time_point now = Clock::now();
  schedule.Add(18, {"\x13\r", "\x11\r", "\x06\r"}, 7, now);
  schedule.Add(3, {"VER 1234\r"}, 7, now);
  const auto first = schedule.TakeDue(now);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].destination, 7u);
  EXPECT_EQ(Bytes(schedule.TakeDue(now + kAnswerGap)), std::vector<std::string>{"\x11\r"});
  // The later request's answer never overtakes the earlier one's.
  EXPECT_EQ(Bytes(schedule.TakeDue(now + 2 * kAnswerGap)),
            (std::vector<std::string>{"\x06\r", "VER 1234\r"}));
}

}  // namespace
}  // namespace flash::sim
