#include "cli/console_output.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace flash {
namespace {

constexpr auto kTerminalRedrawPeriod = std::chrono::milliseconds{100};
constexpr auto kPlainProgressPeriod = std::chrono::seconds{1};
constexpr std::string_view kClearLine = "\r\033[K";
constexpr std::string_view kProgramName = "flash-update-cli: ";

// Takes a block of lines off a terminal, the cursor at the end of its last line.
std::string ClearBlock(std::size_t lines) {
  if (lines <= 1) return std::string(kClearLine);
  return "\r\033[" + std::to_string(lines - 1) + "A\033[J";
}

// The text with its own line ends, without the empty lines that end it.
std::string ShownLines(std::string_view text) {
  PaneTextFilter filter;
  std::string shown = filter.Filter(text) + filter.Flush();
  while (!shown.empty() && shown.back() == '\n') shown.pop_back();
  return shown + "\n";
}

bool SameFile(int a, int b) {
  struct stat first {};
  struct stat second {};
  return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace

ConsoleOutput::ConsoleOutput(int outFd, int errFd, bool terminal, std::size_t waitingBound)
    : outFd_(outFd),
      out_(outFd, waitingBound),
      err_(errFd, waitingBound),
      terminal_(terminal),
      sharedStreams_(SameFile(outFd, errFd)) {}

void ConsoleOutput::HideProgress() {
  if (!progressShown_) return;
  out_.Write(ClearBlock(progressLines_));
  progressShown_ = false;
}

void ConsoleOutput::ProgressLines(const std::vector<std::string>& lines) {
  if (quiet_ || lines.empty()) return;
  if (!terminal_) {
    for (const std::string& line : lines) {
      StartLine();
      out_.Write("Progress: " + line + "\n", true);
    }
    return;
  }
  std::string block;
  if (progressShown_) {
    block = ClearBlock(progressLines_);
  } else {
    StartLine();
  }
  // A line wider than the terminal would wrap onto a second row, and the next redraw
  // would go back too few rows: each line is cut to the width.
  winsize size{};
  const std::size_t width = ::ioctl(outFd_, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    block += (i == 0 ? "" : "\n") + (width > 1 ? lines[i].substr(0, width - 1) : lines[i]);
  }
  // One piece: dropped whole or written whole, so the cursor stays where the block ends.
  out_.Write(block, true);
  progressShown_ = true;
  progressLines_ = lines.size();
}

void ConsoleOutput::StartLine() {
  HideProgress();
  if (std::string held = filter_.Flush(); !held.empty()) {
    out_.Write(held);
    atLineStart_ = true;
  }
  if (!atLineStart_) {
    out_.Write("\n");
    atLineStart_ = true;
  }
}

void ConsoleOutput::PaneText(std::string_view text) {
  if (quiet_) return;
  const std::string shown = filter_.Filter(text);
  if (shown.empty()) return;
  HideProgress();
  out_.Write(shown);
  atLineStart_ = shown.back() == '\n';
}

void ConsoleOutput::Message(std::string_view text) {
  StartLine();
  out_.Write(ShownLines(text));
}

void ConsoleOutput::Note(std::string_view text) {
  if (!quiet_) Message(text);
}

void ConsoleOutput::AlsoAsError(std::string_view text) {
  if (!quiet_ && sharedStreams_) return;
  // The log's lines begin with a blank; after the program's name it would be a second one.
  Error(text.substr(std::min(text.find_first_not_of(' '), text.size())));
}

void ConsoleOutput::Result(std::string_view text, bool failed) {
  Message(text);
  if (failed && !sharedStreams_) Error(text);
}

void ConsoleOutput::Error(std::string_view text) {
  // Ended first, so that on a shared terminal the error has a line of its own.
  StartLine();
  err_.Write(std::string(kProgramName) + ShownLines(text));
}

void ConsoleOutput::Progress(int done, int total, TimePoint now) {
  if (quiet_) return;
  meter_.Note(done, total, now);
  if (terminal_) {
    if (progressShown_ && done != total && now - lastProgress_ < kTerminalRedrawPeriod) return;
    if (!progressShown_) StartLine();
    out_.Write(std::string(kClearLine) + meter_.Text(), true);
    progressShown_ = true;
    progressLines_ = 1;
  } else {
    if (progressPrinted_ && now - lastProgress_ < kPlainProgressPeriod) return;
    StartLine();
    out_.Write("Progress: " + meter_.Text() + "\n", true);
    progressPrinted_ = true;
  }
  lastProgress_ = now;
}

void ConsoleOutput::NoteDroppedProgress() {
  const int dropped = out_.TakeDropped();
  if (dropped == 0) return;
  Error("output is not being read; " + std::to_string(dropped) +
        (dropped == 1 ? " progress line was dropped" : " progress lines were dropped"));
}

void ConsoleOutput::Finish() {
  StartLine();
  NoteDroppedProgress();
}

void ConsoleOutput::Flush() {
  out_.Flush();
  err_.Flush();
  // Said once the reader has caught up, so that the note stands where the gap is.
  if (out_.waitingFd() < 0) NoteDroppedProgress();
}

bool ConsoleOutput::Drain(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  Flush();
  while (outWaitingFd() >= 0 || errWaitingFd() >= 0) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd watched[2] = {{outWaitingFd(), POLLOUT, 0}, {errWaitingFd(), POLLOUT, 0}};
    if (::poll(watched, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
    Flush();
  }
  return true;
}

}  // namespace flash
