#include "cli/console_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/pane_text_filter.h"
#include "cli/personality_prompt.h"
#include "cli/progress_meter.h"
#include "cli/timer_set.h"
#include "tests/cli/tool_output_checks.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

// Captures what a ConsoleOutput writes.
class CapturedOutput {
 public:
  CapturedOutput() { EXPECT_EQ(::pipe2(fds_, O_NONBLOCK), 0); }
  ~CapturedOutput() {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  int fd() const { return fds_[1]; }
  // Leaves no room, as when the reader stopped reading.
  void Fill() {
    const std::string filler(4096, '\0');
    while (::write(fds_[1], filler.data(), filler.size()) > 0) {
    }
  }
  std::string Take() {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fds_[0], buffer, sizeof buffer)) > 0) text.append(buffer, n);
    return text;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(PaneTextFilter, EndsLinesWithLineFeedsAndShowsAFilesControlCharactersAsQuestionMarks) {
  PaneTextFilter filter;
  EXPECT_EQ(filter.Filter(" Close File\r\n"), " Close File\n");
  EXPECT_EQ(filter.Filter("one\r"), "one");  // the CR LF may come split
  EXPECT_EQ(filter.Filter("\ntwo\rthree"), "\ntwo\nthree");
  EXPECT_EQ(filter.Filter("\r"), "");
  EXPECT_EQ(filter.Flush(), "\n");
  EXPECT_EQ(filter.Filter(" \x1b[31mred\x07\ttab\x7f \xc3\xa9\r\n"), " ?[31mred?\ttab? \xc3\xa9\n");
}

TEST(ProgressMeter, ShowsTheRateAndTimeLeftOnceHalfASecondIsMeasured) {
  ProgressMeter meter;
  const TimePoint start{};
  meter.Note(0, 400, start);
  EXPECT_EQ(meter.Text(), "0 of 400 lines");
  meter.Note(10, 400, start + 100ms);
  EXPECT_EQ(meter.Text(), "10 of 400 lines");
  meter.Note(100, 400, start + 2s);
  EXPECT_EQ(meter.Text(), "100 of 400 lines, 50.0 lines/s, 0:06 left");
  meter.Note(100, 4000000, start + 2s);
  EXPECT_EQ(meter.Text(), "100 of 4000000 lines, 50.0 lines/s, 22:13:18 left");
}

TEST(ConsoleOutput, ProgressIsOneRedrawnLineOnATerminalAndPlainLinesAtMostOnceASecondOtherwise) {
  const TimePoint start{};
  CapturedOutput terminal;
  ConsoleOutput onTerminal(terminal.fd(), terminal.fd(), true);
  onTerminal.Progress(0, 10, start);
  onTerminal.Progress(1, 10, start + 10ms);  // too soon to redraw
  onTerminal.Progress(2, 10, start + 150ms);
  EXPECT_EQ(terminal.Take(), "\r\033[K0 of 10 lines\r\033[K2 of 10 lines");
  onTerminal.PaneText(" Radio Update File for Model QV746\r\n");
  EXPECT_EQ(terminal.Take(), "\r\033[K Radio Update File for Model QV746\n");
  onTerminal.Progress(10, 10, start + 160ms);  // the last line is always drawn
  onTerminal.HideProgress();
  EXPECT_EQ(terminal.Take(), "\r\033[K10 of 10 lines\r\033[K");

  CapturedOutput pipe;
  ConsoleOutput plain(pipe.fd(), pipe.fd(), false);
  plain.PaneText(" 131 total data lines in file.");
  plain.Progress(0, 131, start);
  plain.Progress(50, 131, start + 900ms);
  plain.Progress(60, 131, start + 1s);
  plain.HideProgress();
  EXPECT_EQ(pipe.Take(),
            " 131 total data lines in file.\nProgress: 0 of 131 lines\n"
            "Progress: 60 of 131 lines, 60.0 lines/s, 0:01 left\n");
}

TEST(ConsoleOutput, PutsMessagesOnLinesOfTheirOwnAndErrorsOnStandardError) {
  CapturedOutput out;
  CapturedOutput err;
  ConsoleOutput console(out.fd(), err.fd(), false);
  console.PaneText("Using Serial Interface: ");
  console.Error("That PORT is not available ");
  console.Message("File Processing Complete! \r\n\r\nThere is no way");
  console.PaneText(" Close File\r");
  console.Finish();
  EXPECT_EQ(out.Take(),
            "Using Serial Interface: \nFile Processing Complete! \n\nThere is no way\n Close File\n");
  EXPECT_EQ(err.Take(), "flash-update-cli: That PORT is not available \n");
}

TEST(ConsoleOutput, KeepsWhatTheReaderCannotTakeAndPastTheBoundDropsOnlyProgressLinesAndSaysSo) {
  CapturedOutput out;
  CapturedOutput err;
  out.Fill();
  ConsoleOutput console(out.fd(), err.fd(), false, 256);
  const TimePoint start{};
  console.PaneText(" 131 total data lines in file.\r\n");
  for (int done = 0; done <= 20; ++done) console.Progress(done, 20, start + done * 1s);
  console.Error("That PORT is not available ");
  console.Message("Flash Update Successfuly Completed !");
  // Errors do not wait behind standard output.
  EXPECT_EQ(err.Take(), "flash-update-cli: That PORT is not available \n");
  EXPECT_GE(console.outWaitingFd(), 0);

  out.Take();  // the reader is back
  console.Flush();
  EXPECT_LT(console.outWaitingFd(), 0);
  const std::string shown = out.Take();
  EXPECT_TRUE(shown.starts_with(" 131 total data lines in file.\nProgress: ")) << shown;
  EXPECT_TRUE(shown.ends_with("Progress: 20 of 20 lines, 1.0 lines/s, 0:00 left\n"
                              "Flash Update Successfuly Completed !\n"))
      << shown;
  const int dropped = 21 - test::CountOf(shown, "Progress: ");
  EXPECT_GT(dropped, 10);
  EXPECT_EQ(err.Take(), "flash-update-cli: output is not being read; " + std::to_string(dropped) +
                            " progress lines were dropped\n");
}

TEST(TimerSet, ExpiresEveryPeriodUntilStoppedAndNeverInABurst) {
  TimerSet timers;
  const TimePoint start{};
  timers.Start(103, 5000ms, start);
  timers.Start(125, 10000ms, start);
  EXPECT_EQ(timers.NextDeadline(), start + 5000ms);
  EXPECT_TRUE(timers.TakeDue(start + 4999ms).empty());
  EXPECT_EQ(timers.TakeDue(start + 5000ms), std::vector<int>{103});
  // Both due; one expiry each although 103 is two periods late.
  EXPECT_EQ(timers.TakeDue(start + 16000ms), (std::vector<int>{103, 125}));
  EXPECT_EQ(timers.NextDeadline(), start + 20000ms);
  timers.Stop(125);
  EXPECT_FALSE(timers.IsRunning(125));
  timers.Start(103, 5000ms, start + 17000ms);  // started anew
  EXPECT_EQ(timers.NextDeadline(), start + 22000ms);
  timers.Stop(103);
  EXPECT_FALSE(timers.NextDeadline().has_value());
}

TEST(PersonalityAnswer, TakesOneToSixOrCancel) {
  EXPECT_EQ(ParsePersonalityAnswer(" 4 "), 4);
  EXPECT_EQ(ParsePersonalityAnswer("Cancel"), -1);
  EXPECT_EQ(ParsePersonalityAnswer("c"), -1);
  EXPECT_FALSE(ParsePersonalityAnswer("12").has_value());
}

}  // namespace
}  // namespace flash
