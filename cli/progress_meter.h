#pragma once

#include <chrono>
#include <string>

namespace flash {

// Lines done of total, the rate and the time left, measured from the first count.
class ProgressMeter {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  void Note(int done, int total, TimePoint now);
  // "412 of 1300 lines, 85.2 lines/s, 0:10 left"; the rate and the time left
  // appear once there is enough to measure them.
  std::string Text() const;
  int done() const { return done_; }
  int total() const { return total_; }

 private:
  bool started_ = false;
  int firstDone_ = 0;
  TimePoint firstTime_{};
  int done_ = 0;
  int total_ = 0;
  double linesPerSecond_ = 0.0;
  bool rateKnown_ = false;
};

}  // namespace flash
