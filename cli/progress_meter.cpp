#include "cli/progress_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace flash {
namespace {

// Shorter spans give a rate that jumps about too much to be of use.
constexpr auto kMeasuringSpan = std::chrono::milliseconds{500};

std::string Duration(long long seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  }
  return text;
}

}  // namespace

void ProgressMeter::Note(int done, int total, TimePoint now) {
  if (!started_) {
    started_ = true;
    firstDone_ = done;
    firstTime_ = now;
  }
  done_ = done;
  total_ = total;
  const auto span = now - firstTime_;
  if (span >= kMeasuringSpan && done_ > firstDone_) {
    linesPerSecond_ = (done_ - firstDone_) / std::chrono::duration<double>(span).count();
    rateKnown_ = true;
  }
}

std::string ProgressMeter::Text() const {
  std::string text = std::to_string(done_) + " of " + std::to_string(total_) + " lines";
  if (!rateKnown_) return text;
  char rate[48];
  std::snprintf(rate, sizeof rate, ", %.1f lines/s", linesPerSecond_);
  text += rate;
  const int left = std::max(total_ - done_, 0);
  text += ", " + Duration(std::llround(left / linesPerSecond_)) + " left";
  return text;
}

}  // namespace flash
