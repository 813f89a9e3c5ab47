// What the headless tool writes, and when, with the time given by the test.
#include "cli/console_output.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cli/timer_set.h"
#include "tests/cli/tool_output_checks.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

// A pipe that takes what a ConsoleOutput writes, never making it wait.
struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(::pipe2(fds, O_NONBLOCK), 0); }
  ~Pipe() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  std::string Take() const {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }
};

TEST(ConsoleOutput, ProgressIsOneRedrawnLineOnATerminalAndPlainLinesAtMostOnceASecondOtherwise) {
  const TimePoint start = TimePoint{} + 1h;
  Pipe terminal;
  ConsoleOutput onTerminal(terminal.fds[1], terminal.fds[1], true);
  onTerminal.Progress(0, 10, start);
  onTerminal.Progress(1, 10, start + 10ms);   // too soon to redraw
  onTerminal.Progress(2, 10, start + 150ms);   // too soon to know the rate
  onTerminal.Progress(10, 10, start + 160ms);  // the last line is always drawn
  EXPECT_EQ(terminal.Take(), "\r\033[K0 of 10 lines\r\033[K2 of 10 lines\r\033[K10 of 10 lines");
  onTerminal.PaneText(" Radio Update File for Model QV746\r\n");
  EXPECT_EQ(terminal.Take(), "\r\033[K Radio Update File for Model QV746\n");

  Pipe pipe;
  ConsoleOutput plain(pipe.fds[1], pipe.fds[1], false);
  plain.PaneText(" 131 total data lines in file.");
  plain.Progress(0, 10, start);
  plain.Progress(4, 10, start + 900ms);
  plain.Progress(5, 10, start + 5s);
  plain.Progress(6, 3606, start + 6s);
  plain.HideProgress();
  EXPECT_EQ(pipe.Take(),
            " 131 total data lines in file.\nProgress: 0 of 10 lines\n"
            "Progress: 5 of 10 lines, 1.0 lines/s, 0:05 left\n"
            "Progress: 6 of 3606 lines, 1.0 lines/s, 1:00:00 left\n");

  // Several radios on a terminal 20 columns wide: one block redrawn in place, each
  // line cut so that none wraps and the redraw goes back exactly over the block.
  int master = -1;
  int slave = -1;
  winsize size{};
  size.ws_col = 20;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
  termios mode{};
  ::tcgetattr(slave, &mode);
  ::cfmakeraw(&mode);
  ::tcsetattr(slave, TCSANOW, &mode);
  {
    ConsoleOutput radios(slave, slave, true);
    radios.ProgressLines({"./radio-1  746  12 of 131 lines", "./radio-2  -"});
    radios.ProgressLines({"./radio-1  746  13 of 131 lines", "./radio-2  -"});
  }
  // The terminal passes the bytes on in its own time: read until all have come (or
  // nothing more comes for a while).
  const std::string expected =
      "./radio-1  746  12 \n./radio-2  -\r\033[1A\033[J./radio-1  746  13 \n./radio-2  -";
  std::string drawn;
  pollfd ready{master, POLLIN, 0};
  while (drawn.size() < expected.size() && ::poll(&ready, 1, 2000) > 0) {
    char chunk[256];
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got <= 0) break;
    drawn.append(chunk, static_cast<std::size_t>(got));
  }
  EXPECT_EQ(drawn, expected);
  ::close(master);
  ::close(slave);
}

TEST(ConsoleOutput, PutsMessagesOnLinesOfTheirOwnAndErrorsOnStandardError) {
  Pipe out;
  Pipe err;
  ConsoleOutput console(out.fds[1], err.fds[1], false);
  console.PaneText("Using Serial Interface: ");
  console.Error("That PORT is not available ");
  console.Message("File Processing Complete! \r\n\r\nThere is no way");
  // A file's control characters never reach the terminal; a CR LF may come split.
  console.PaneText(" \x1b[31mred\x07\ttab\x7f \xc3\xa9\r");
  console.PaneText("\n Close File\r");
  console.Finish();
  EXPECT_EQ(out.Take(),
            "Using Serial Interface: \nFile Processing Complete! \n\nThere is no way\n"
            " ?[31mred?\ttab? \xc3\xa9\n Close File\n");
  EXPECT_EQ(err.Take(), "flash-update-cli: That PORT is not available \n");
}

TEST(ConsoleOutput, KeepsWhatTheReaderCannotTakeAndPastTheBoundDropsOnlyProgressLinesAndSaysSo) {
  Pipe out;
  Pipe err;
  for (const std::string filler(4096, '\0'); ::write(out.fds[1], filler.data(), filler.size()) > 0;) {
  }
  ConsoleOutput console(out.fds[1], err.fds[1], false, 256);
  const TimePoint start{};
  console.PaneText(" 131 total data lines in file.\r\n");
  for (int done = 0; done <= 20; ++done) console.Progress(done, 20, start + done * 1s);
  console.Error("That PORT is not available ");
  console.Message("Flash Update Successfuly Completed !");
  console.Flush();  // the reader is still away: what was dropped is told when it is back
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
  timers.Start(103, 5000ms, start + 17000ms);  // started anew
  EXPECT_EQ(timers.NextDeadline(), start + 22000ms);
  timers.Stop(103);
  EXPECT_FALSE(timers.NextDeadline().has_value());
}

}  // namespace
}  // namespace flash
