#include "cli/console_output.h"

#include <unistd.h>

#include <cerrno>

namespace flash {
namespace {

constexpr auto kTerminalRedrawPeriod = std::chrono::milliseconds{100};
constexpr auto kPlainProgressPeriod = std::chrono::seconds{1};
constexpr std::string_view kClearLine = "\r\033[K";

}  // namespace

ConsoleOutput::ConsoleOutput(int fd, bool terminal) : fd_(fd), terminal_(terminal) {}

void ConsoleOutput::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
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
  PaneTextFilter messageFilter;
  std::string shown = messageFilter.Filter(text) + messageFilter.Flush();
  while (!shown.empty() && shown.back() == '\n') shown.pop_back();
  Write(shown + "\n");
  atLineStart_ = true;
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
