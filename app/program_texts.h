#pragma once

namespace flash {

// The caption of the program's message boxes.
inline constexpr const char* kProgramName = "Flash Update";
inline constexpr const char* kWindowTitle = "Halvane Quillo Flash Update Utility";
inline constexpr const char* kVersionText = "Version 4.12";
inline constexpr const char* kSocketsInitFailed = "IDP_SOCKETS_INIT_FAILED";
inline constexpr const char* kQuitWhileRunning =
    "An update is in progress. Quitting now may leave the radio unusable. Quit anyway?";

}  // namespace flash
