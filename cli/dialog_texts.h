#pragma once

#include <string_view>

#include "operation/engine_host.h"

namespace flash {

// The text of a message dialog, as its template holds it.
std::string_view DialogText(DialogId id);

}  // namespace flash
