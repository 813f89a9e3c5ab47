#pragma once

#include <string>

namespace flash::bench {

// One station at work: 8 radios paced like a 57600-baud line, each plugged into the
// watched folder 100 ms after the one before.
struct StationFigures {
  int radios = 0;
  // The longest delay from a radio's link appearing in the folder to the station's
  // first request to it, the time stamp its trace gives that request.
  double worstFirstRequestMs = 0;
  // From the first link's appearance to the station's exit (--count), the last
  // record written; negative when a radio did not succeed (standard error says why).
  double seconds = -1;
};

inline constexpr int kStationRadios = 8;
inline constexpr int kStationPlugGapMs = 100;

StationFigures MeasureStation(const std::string& tool, const std::string& radioSim,
                              const std::string& demoFile);

}  // namespace flash::bench
