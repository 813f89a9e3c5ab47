#pragma once

#include <string>
#include <vector>

#include "bench/timed_links.h"
#include "engine/engine_host.h"

namespace flash::bench {

struct OperationRunSetup {
  std::string rufFile;
  std::string serialDevice;  // a serial run when not empty
  std::string udpAddress;    // otherwise a UDP run to this address and port
  int udpPort = 0;
  std::string tracePath;
};

struct OperationRunResult {
  bool ended = false;
  OperationOutcome outcome = OperationOutcome::Stopped;
  std::vector<TimedWrite> writes;
  std::vector<BenchClock::time_point> arrivals;
  std::vector<BenchClock::time_point> traceStamps;   // see TimedClock
  std::vector<BenchClock::time_point> statusStamps;  // see TimedHost
};

// One Program operation in this process, the way the headless tool runs it: the
// update engine with the real serial port or the real UDP socket, the tool's
// host and timers, and the tool's own event loop. The links are wrapped so that every
// request and every answer's arrival is timestamped.
OperationRunResult RunProgramOperation(const OperationRunSetup& setup);

}  // namespace flash::bench
