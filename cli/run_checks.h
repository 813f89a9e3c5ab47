#pragma once

#include <optional>
#include <string>

#include "cli/cli_options.h"
#include "cli/console_output.h"
#include "engine/ruf_survey.h"

namespace flash {

// What a run of many radios (a fleet, a station) checks once, before any link opens:
// the file (refused: 4; its warnings told), the trace folder (made when missing) and
// the file the run writes, named what ("report", "record file"), when it writes one
// (64). Answers the exit status when the run must not start.
std::optional<int> RefuseManyRadioRun(const CliOptions& options, const RufSurvey& survey,
                                      const std::string& what,
                                      const std::optional<std::string>& output,
                                      ConsoleOutput& console);

}  // namespace flash
