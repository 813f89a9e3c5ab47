#pragma once

#include "cli/cli_options.h"

namespace flash {

// Runs one program, verify or test operation against the radio and answers the
// exit status.
int RunUpdate(const CliOptions& options);

}  // namespace flash
