#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/engine_host.h"

namespace flash {

// One radio of a run with several links, as its progress line, the summary and
// the report show it.
struct FleetRadio {
  std::string link;          // as given: the device, or HOST:PORT
  std::optional<int> model;  // the code the radio reported; none before, or 0
  int linesSent = 0;
  int linesTotal = 0;
  double seconds = 0.0;  // from the start of the run to the radio's end
  std::string progress;  // lines done of total and the rate, as ProgressMeter says them
  std::string state;     // while it runs: what it does; then its outcome
  bool ended = false;
  std::string outcome;  // a short word: "success", "failed", "refused", "stopped" ...
  std::string reason;   // one line; empty on success
  // Program then Verify: each one's outcome word ("not-run" for a Verify after a
  // Program that failed); both empty when no Verify was asked for.
  std::string program;
  std::string verify;
  int exitStatus = 0;
};

// The outcome's word; identified: the radio named its model before the end.
std::string OutcomeWord(OperationOutcome outcome, bool identified);
// The worst of the radios' exit statuses: a stop signal, then 1 (a radio whose
// memory is not the file's), 2, 3, 5, 4, 6 (errors ignored), 73 (a trace not
// written), and 0 only when every radio succeeded.
int FleetExitStatus(const std::vector<FleetRadio>& radios);
// One progress line per radio, the links padded to one width.
std::vector<std::string> ProgressLines(const std::vector<FleetRadio>& radios);
// The table that ends the run, and its last line with the run's exit status.
std::string SummaryTable(const std::vector<FleetRadio>& radios, int exitStatus);
// The same as a JSON array, one object per radio.
std::string ReportJson(const std::vector<FleetRadio>& radios);

}  // namespace flash
