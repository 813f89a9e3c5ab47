#pragma once

#include <string_view>

#include "engine/engine_host.h"

namespace flash {

// The title and the text of the message dialogs that report how an operation
// ended, shared by every host (the window shows them, the headless tool prints them).
std::string_view DialogTitleOf(DialogId id);
std::string_view DialogTextOf(DialogId id);

}  // namespace flash
