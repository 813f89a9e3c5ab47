#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "cli/pane_text_filter.h"
#include "cli/progress_meter.h"

namespace flash {

// The headless tool's console: the output pane's text, the program's messages
// and the progress on standard output, errors and warnings on standard error.
// On a terminal the progress is one line redrawn in place; otherwise it is a
// plain line at most once a second.
class ConsoleOutput {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  ConsoleOutput(int outFd, int errFd, bool terminal);

  void PaneText(std::string_view text);
  // A text on lines of its own (a result dialog of the desktop program, a note).
  void Message(std::string_view text);
  // An error or a warning (a message box of the desktop program): on standard
  // error after the program's name.
  void Error(std::string_view text);
  void Progress(int done, int total, TimePoint now);
  // Takes the progress line off a terminal (the operation's end, or a prompt).
  void HideProgress();
  // Ends an unfinished line at the end of the run.
  void Finish();

  bool terminal() const { return terminal_; }

 private:
  void Write(std::string_view text, int fd = -1);
  void StartLine();

  int fd_;
  int errFd_;
  bool terminal_;
  PaneTextFilter filter_;
  ProgressMeter meter_;
  bool atLineStart_ = true;
  bool progressShown_ = false;
  bool progressPrinted_ = false;
  TimePoint lastProgress_{};
};

}  // namespace flash
