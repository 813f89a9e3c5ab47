#pragma once

#include "cli/cli_options.h"
#include "cli/console_output.h"

namespace flash {

// flash-update-cli station: every serial adapter that appears in the watched folder
// gets one operation (Program; with --verify, Program then Verify), in parallel with
// the radios already running, and a record appended to the record file before it is
// shown as done. Answers the exit status.
int RunStation(const CliOptions& options, ConsoleOutput& console);

}  // namespace flash
