#pragma once

namespace flash {

// The caption of the program's message boxes.
inline constexpr const char* kProgramName = "Flash Update";
inline constexpr const char* kWindowTitle = "Halvane Quillo Flash Update Utility";
inline constexpr const char* kVersionText = "Version 4.12";
inline constexpr const char* kSocketsInitFailed = "IDP_SOCKETS_INIT_FAILED";
inline constexpr const char* kQuitWhileRunning =
    "An update is in progress. Quitting now may leave the radio unusable. Quit anyway?";
inline constexpr const char* kStopWhileRunning =
    "Stop the update now? The radio may need a new update.";
// The closing note of the log and the trace when the user ends an operation.
inline constexpr const char* kStoppedByUser = "stopped by the user";

}  // namespace flash
