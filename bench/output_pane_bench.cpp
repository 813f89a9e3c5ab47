// The output pane of the desktop program (offscreen) fed through the main
// window's AppendOutput: 10,000 and 20,000 comment lines must cost in proportion.
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "app/process_objects.h"
#include "bench/bench_report.h"
#include "bench/scratch_folder.h"

namespace flash::bench {
namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string CommentLine(int n) {
  // What processLine appends for ";Comment line n of the update file".
  return " Comment line " + std::to_string(n) + " of the update file\r\n";
}

struct PaneFigures {
  double appendMillis = 0;  // every AppendOutput call
  double paintMillis = 0;   // the events and the paint that follow
  bool firstLineShown = false;
  int blocks = 0;
};

// A fresh window; `lines` comment lines appended, the event loop run every
// `eventsEvery` lines (0: only at the end, as when one step reads many comments).
PaneFigures AppendLines(int lines, int eventsEvery) {
  PaneFigures figures;
  ProcessObjects objects({"flash-update"});
  if (!objects.updateApp.Start()) return figures;
  MainWindow& window = *objects.updateApp.mainWindow();
  window.BeginOutput();
  QCoreApplication::processEvents();

  Clock::duration events{};
  const auto start = Clock::now();
  for (int i = 1; i <= lines; ++i) {
    window.AppendOutput(CommentLine(i));
    if (eventsEvery > 0 && i % eventsEvery == 0) {
      const auto before = Clock::now();
      QCoreApplication::processEvents();
      events += Clock::now() - before;
    }
  }
  const auto appended = Clock::now();
  QCoreApplication::processEvents();
  window.repaint();
  const auto painted = Clock::now();

  figures.appendMillis = Millis(appended - start - events);
  figures.paintMillis = Millis(painted - appended + events);
  QPlainTextEdit* pane = window.outputPane();
  figures.blocks = pane->document()->blockCount();
  figures.firstLineShown =
      pane->verticalScrollBar()->value() == 0 &&
      pane->cursorForPosition(QPoint(1, 1)).block().blockNumber() == 0 &&
      pane->document()->firstBlock().text().startsWith(QStringLiteral(" Comment line 1 "));
  objects.updateApp.Exit();
  return figures;
}

// The pane after the user typed into it: the next append puts the log back whole, once.
double ReplaceAfterEdit(int lines, double* laterAppendMicros) {
  ProcessObjects objects({"flash-update"});
  if (!objects.updateApp.Start()) return -1;
  MainWindow& window = *objects.updateApp.mainWindow();
  window.BeginOutput();
  for (int i = 1; i <= lines; ++i) window.AppendOutput(CommentLine(i));
  QTextCursor typing(window.outputPane()->document());
  typing.insertText(QStringLiteral("typed by the user"));
  const auto start = Clock::now();
  window.AppendOutput(CommentLine(lines + 1));
  const auto replaced = Clock::now();
  constexpr int kLater = 1000;
  for (int i = 0; i < kLater; ++i) window.AppendOutput(CommentLine(lines + 2 + i));
  *laterAppendMicros = Millis(Clock::now() - replaced) * 1000 / kLater;
  objects.updateApp.Exit();
  return Millis(replaced - start);
}

double Total(const PaneFigures& f) { return f.appendMillis + f.paintMillis; }

int Run() {
  constexpr int kRuns = 5;
  const int sizes[2] = {10000, 20000};
  // Comment lines come one after the other within one step (the event loop runs
  // after them); the second cadence adds layouts and paints as the pane grows.
  const int cadences[2] = {0, 100};
  const char* cadenceText[2] = {"events at the end", "events every 100 lines"};
  int status = 0;
  for (int c = 0; c < 2; ++c) {
    // The best of five runs of each size, the sizes taken in turn so that a burst
    // of other work on the machine does not fall on one size only.
    PaneFigures best[2];
    for (int run = 0; run < kRuns; ++run) {
      for (int s = 0; s < 2; ++s) {
        const PaneFigures f = AppendLines(sizes[s], cadences[c]);
        if (!f.firstLineShown || f.blocks != sizes[s] + 1) {
          std::fprintf(stderr, "bench: the pane holds %d lines, first line shown: %d\n", f.blocks,
                       f.firstLineShown ? 1 : 0);
          status = 1;
        }
        if (run == 0 || Total(f) < Total(best[s])) best[s] = f;
      }
    }
    for (int s = 0; s < 2; ++s) {
      PrintRow(Text("output pane: %d comment lines, %s", sizes[s], cadenceText[c]),
               Text("%.1f ms (%.2f us/line)", Total(best[s]), Total(best[s]) * 1000 / sizes[s]),
               Text("appends %.1f ms, events and paint %.1f ms; the pane shows its first line",
                    best[s].appendMillis, best[s].paintMillis));
    }
    PrintRow(Text("output pane: 20000 against 10000 lines, %s", cadenceText[c]),
             Text("x%.2f", Total(best[1]) / Total(best[0])), "linear is x2");
  }
  double laterMicros = 0;
  const double replaceMillis = ReplaceAfterEdit(10000, &laterMicros);
  PrintRow("output pane: first append after the user typed (10,000 lines)",
           Text("%.1f ms", replaceMillis),
           Text("the log is put back whole once; appends after it %.1f us each", laterMicros));
  return status;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // update.ini is read and written in the working directory: use a scratch one.
  const flash::bench::ScratchFolder scratch("pane");
  if (!scratch.ok() || ::chdir(scratch.path().c_str()) != 0) return 1;
  QApplication app(argc, argv);
  return flash::bench::Run();
}
