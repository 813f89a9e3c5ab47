#pragma once

#include <string>
#include <vector>

namespace flash {

// True when the process was started with any argument text at all after the
// program's own name: such a run ignores the radio's answers and errors.
// Takes the command line as the process received it, before any toolkit has
// removed the options it understands.
bool ArgumentsIgnoreErrors(const std::vector<std::string>& originalArgs);

}  // namespace flash
