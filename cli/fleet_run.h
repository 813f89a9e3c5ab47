#pragma once

#include "cli/cli_options.h"
#include "cli/console_output.h"

namespace flash {

// Runs the operation on every link of the command line at the same time, one
// engine per radio in this one event loop, and answers the worst exit status.
int RunFleet(const CliOptions& options, ConsoleOutput& console);

}  // namespace flash
