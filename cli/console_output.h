#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "cli/pane_text_filter.h"
#include "cli/progress_meter.h"

namespace flash {

// Standard output of the headless tool: the output pane's text, the program's
// messages and the progress. On a terminal the progress is one line redrawn in
// place; otherwise it is a plain line at most once a second.
class ConsoleOutput {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  ConsoleOutput(int fd, bool terminal);

  void PaneText(std::string_view text);
  // A text on lines of its own (a message box or a dialog of the desktop program).
  void Message(std::string_view text);
  void Progress(int done, int total, TimePoint now);
  // Takes the progress line off a terminal (the operation's end, or a prompt).
  void HideProgress();
  // Ends an unfinished line at the end of the run.
  void Finish();

  bool terminal() const { return terminal_; }

 private:
  void Write(std::string_view text);
  void StartLine();

  int fd_;
  bool terminal_;
  PaneTextFilter filter_;
  ProgressMeter meter_;
  bool atLineStart_ = true;
  bool progressShown_ = false;
  bool progressPrinted_ = false;
  TimePoint lastProgress_{};
};

}  // namespace flash
