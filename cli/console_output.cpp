#include "cli/console_output.h"

#include <unistd.h>

#include <cerrno>

namespace flash {
namespace {

constexpr auto kTerminalRedrawPeriod = std::chrono::milliseconds{100};
constexpr auto kPlainProgressPeriod = std::chrono::seconds{1};
constexpr std::string_view kClearLine = "\r\033[K";
constexpr std::string_view kProgramName = "flash-update-cli: ";

// The text with its own line ends, without the empty lines that end it.
std::string ShownLines(std::string_view text) {
  PaneTextFilter filter;
  std::string shown = filter.Filter(text) + filter.Flush();
  while (!shown.empty() && shown.back() == '\n') shown.pop_back();
  return shown + "\n";
}

}  // namespace

ConsoleOutput::ConsoleOutput(int outFd, int errFd, bool terminal)
    : fd_(outFd), errFd_(errFd), terminal_(terminal) {}

void ConsoleOutput::Write(std::string_view text, int fd) {
  if (fd < 0) fd = fd_;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    // A reader that went away must not stop the operation half-way: the rest is dropped.
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void ConsoleOutput::HideProgress() {
  if (!progressShown_) return;
  Write(kClearLine);
  progressShown_ = false;
}

void ConsoleOutput::StartLine() {
  HideProgress();
  if (std::string held = filter_.Flush(); !held.empty()) {
    Write(held);
    atLineStart_ = true;
  }
  if (!atLineStart_) {
    Write("\n");
    atLineStart_ = true;
  }
}

void ConsoleOutput::PaneText(std::string_view text) {
  const std::string shown = filter_.Filter(text);
  if (shown.empty()) return;
  HideProgress();
  Write(shown);
  atLineStart_ = shown.back() == '\n';
}

void ConsoleOutput::Message(std::string_view text) {
  StartLine();
  Write(ShownLines(text));
}

void ConsoleOutput::Error(std::string_view text) {
  // Ended first, so that on a shared terminal the error has a line of its own.
  StartLine();
  Write(std::string(kProgramName) + ShownLines(text), errFd_);
}

void ConsoleOutput::Progress(int done, int total, TimePoint now) {
  meter_.Note(done, total, now);
  if (terminal_) {
    if (progressShown_ && done != total && now - lastProgress_ < kTerminalRedrawPeriod) return;
    if (!progressShown_) StartLine();
    Write(std::string(kClearLine) + meter_.Text());
    progressShown_ = true;
  } else {
    if (progressPrinted_ && now - lastProgress_ < kPlainProgressPeriod) return;
    StartLine();
    Write("Progress: " + meter_.Text() + "\n");
    progressPrinted_ = true;
  }
  lastProgress_ = now;
}

void ConsoleOutput::Finish() { StartLine(); }

}  // namespace flash
