#pragma once

#include <functional>
#include <optional>
#include <string_view>

namespace flash {

// The answer typed for the extended-memory choice: 1 to 6, -1 for cancel, or
// nothing when the text is neither.
std::optional<int> ParsePersonalityAnswer(std::string_view text);

struct PersonalityPromptResult {
  bool terminalFound = false;
  int personality = -1;  // 1..6, or -1 for cancel
  int stopSignal = 0;    // a stop signal that ended the question
};

// Asks on the controlling terminal (/dev/tty, or standard input when that is a
// terminal) while watching stopFd; takeStop reads the signal that made stopFd
// readable. Without a terminal nothing is asked and the answer is cancel.
PersonalityPromptResult AskPersonality(int stopFd, const std::function<int()>& takeStop);

}  // namespace flash
