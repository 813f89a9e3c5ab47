#pragma once

#include "engine/engine_host.h"

namespace flash {

// The headless tool's exit status; scripts depend on every value.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitOperationFailed = 1;  // also: check found faults
inline constexpr int kExitCommunicationFailed = 2;
inline constexpr int kExitRefusedByRadio = 3;
inline constexpr int kExitFileRefused = 4;
inline constexpr int kExitLinkNotOpened = 5;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitSignalBase = 128;  // 130 after Ctrl-C (SIGINT)

// The exit status of an operation that ended with outcome. unlistedModel: the
// radio's identification named a model the program does not know.
int ExitStatusFor(OperationOutcome outcome);

}  // namespace flash
