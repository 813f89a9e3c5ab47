#pragma once

#include <string>

#include "engine/engine_host.h"

namespace flash {

// The headless tool's exit status; scripts depend on every value.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitOperationFailed = 1;  // also: check found faults
inline constexpr int kExitCommunicationFailed = 2;
inline constexpr int kExitRefusedByRadio = 3;
inline constexpr int kExitFileRefused = 4;
inline constexpr int kExitLinkNotOpened = 5;
// Ran to its end with errors ignored: the radio answered, but nothing was checked.
inline constexpr int kExitUnchecked = 6;
// The radios' results stand, but a file the run writes (the trace, the report) was
// not written in full: its reason is on standard error.
inline constexpr int kExitOutputNotWritten = 73;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitNoInput = 66;  // records: the record file cannot be read
inline constexpr int kExitSignalBase = 128;  // 130 after Ctrl-C (SIGINT)

// The exit status of an operation that ended with outcome. unlistedModel: the
// radio's identification named a model the program does not know. answered: the
// radio sent something during the operation; a run with errors ignored that never
// heard from it is a communication failure, not an unchecked end.
int ExitStatusFor(OperationOutcome outcome, bool answered = true);

// Why a run with errors ignored is no success, in one line (answered as above).
std::string UncheckedReason(bool answered);

// How far an operation got when a stop signal ended it, in one line:
// "mid-flash by signal 2, after 40 of 131 lines; the radio may need a new update".
// verifying: the stop came during a Verify; programmed: after a Program that succeeded.
std::string StopReason(int signalNumber, int linesSent, int linesTotal, bool verifying,
                       bool programmed);

}  // namespace flash
