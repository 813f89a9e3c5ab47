#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cli/output_channel.h"
#include "cli/pane_text_filter.h"
#include "cli/progress_meter.h"

namespace flash {

// The headless tool's console: the output pane's text, the program's messages
// and the progress on standard output, errors and warnings on standard error.
// On a terminal the progress is one line redrawn in place; otherwise it is a
// plain line at most once a second. No write ever waits for a reader: what a
// stream cannot take now waits until Flush (the event loop calls it when poll
// reports room), and past the bound progress lines are dropped, and said so.
class ConsoleOutput {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  static constexpr std::size_t kWaitingBound = 1 << 20;  // bytes of standard output

  ConsoleOutput(int outFd, int errFd, bool terminal, std::size_t waitingBound = kWaitingBound);

  // --quiet: the log, notes and progress are not shown; results and errors are.
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  bool quiet() const { return quiet_; }

  void PaneText(std::string_view text);
  // A text on lines of its own (a result dialog of the desktop program).
  void Message(std::string_view text);
  // A note on lines of its own; not shown when quiet.
  void Note(std::string_view text);
  // An error or a warning (a message box of the desktop program): on standard
  // error after the program's name.
  void Error(std::string_view text);
  // A text that the log shows and that says why something failed or warns: on
  // standard error as well, so that a script reading only that learns why; but not
  // twice where both streams are one file (a terminal, or 2>&1).
  void AlsoAsError(std::string_view text);
  // How the operation ended: on standard output; a failure also on standard error.
  void Result(std::string_view text, bool failed);
  void Progress(int done, int total, TimePoint now);
  // The lines of several radios: on a terminal one block redrawn in place (the
  // caller paces it); otherwise each a plain "Progress: " line.
  void ProgressLines(const std::vector<std::string>& lines);
  bool terminal() const { return terminal_; }
  // Takes the progress line off a terminal (the operation's end, or a prompt).
  void HideProgress();
  // Ends an unfinished line at the end of the run.
  void Finish();

  // Writes what waits, as far as the readers take it now.
  void Flush();
  // The descriptors to watch for room (POLLOUT); -1 where nothing waits.
  int outWaitingFd() const { return out_.waitingFd(); }
  int errWaitingFd() const { return err_.waitingFd(); }
  // Waits at most limit for the readers to take what waits; false when some is left.
  bool Drain(std::chrono::milliseconds limit);

 private:
  void StartLine();
  void NoteDroppedProgress();

  int outFd_;
  OutputChannel out_;
  OutputChannel err_;
  bool terminal_;
  bool quiet_ = false;
  bool sharedStreams_;  // both descriptors lead to the same file
  PaneTextFilter filter_;
  ProgressMeter meter_;
  bool atLineStart_ = true;
  bool progressShown_ = false;
  std::size_t progressLines_ = 1;  // of the block shown on a terminal
  bool progressPrinted_ = false;
  TimePoint lastProgress_{};
};

}  // namespace flash
