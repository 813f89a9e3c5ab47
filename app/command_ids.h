#pragma once

namespace flash {

// Command ids of the menu "MainMenu", the key table and the commands without a menu item.
inline constexpr int ID_ABOUT = 100;
inline constexpr int ID_UPDATE_RADIO = 32768;
inline constexpr int ID_VERIFY_PROGRAM = 32769;
inline constexpr int ID_QUIT = 32772;
inline constexpr int ID_TOGGLE_ERROR_CHECK = 32778;
inline constexpr int ID_TESTING_MODE = 32784;
inline constexpr int ID_SETUP = 32785;
inline constexpr int ID_STOP_UPDATE = 32786;
inline constexpr int ID_UPDATE_AND_VERIFY = 32787;

// Child window ids of the main window.
inline constexpr int kOutputPaneId = 102;
inline constexpr int kStatusBarId = 104;

}  // namespace flash
