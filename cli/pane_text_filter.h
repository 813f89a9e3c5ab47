#pragma once

#include <string>
#include <string_view>

namespace flash {

// Turns the output pane's text into terminal text: "\r\n" and a lone CR end a
// line with "\n", and other control characters (which a RUF comment may carry
// straight to the terminal) are shown as '?'. A CR at the end of one piece is
// held until the next piece shows whether an LF follows it.
class PaneTextFilter {
 public:
  std::string Filter(std::string_view text);
  // What is still held (a line end), for the end of the output.
  std::string Flush();

 private:
  bool heldCr_ = false;
};

}  // namespace flash
