#include "app/command_line_rule.h"

namespace flash {

bool ArgumentsIgnoreErrors(const std::vector<std::string>& originalArgs) {
  // Every argument the shell passed was a word of the command line, even an empty
  // quoted one, so any argument at all switches error checking off.
  return originalArgs.size() > 1;
}

}  // namespace flash
