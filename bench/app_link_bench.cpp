// The desktop program's serial path: in this process, on the offscreen platform,
// the main window runs Program operations against radio-sim on a pseudo-terminal
// as a user would (its file dialog chooses the file, its result dialog is
// answered at once). Timed from the trace's stamps; the process's CPU time and
// voluntary context switches (every thread's) are counted per line.
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/main_window.h"
#include "app/process_objects.h"
#include "bench/bench_report.h"
#include "bench/ruf_file_maker.h"
#include "bench/scratch_folder.h"
#include "tests/support/radio_sim_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;
using test::RadioSim;

constexpr double kLineWireMicros = (23.0 + 4.0) * 10.0 / 57600.0 * 1e6;  // as in bench-links
constexpr std::size_t kImmediateLines = 4000;
constexpr int kImmediateRuns = 5;
constexpr std::size_t kPacedLines = 2500;
constexpr int kPacedRuns = 3;
constexpr auto kOperationLimit = 120s;  // bounds a run that goes wrong

// Answers the program's modal windows as soon as they show: the file dialog
// chooses the file, any other dialog is accepted.
class ModalAnswers : public QObject {
 public:
  explicit ModalAnswers(QString file) : file_(std::move(file)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;
    if (auto* chooser = qobject_cast<QFileDialog*>(watched)) {
      QTimer::singleShot(0, chooser, [chooser, file = file_] {
        chooser->selectFile(file);
        static_cast<QDialog*>(chooser)->accept();
      });
    } else if (auto* dialog = qobject_cast<QDialog*>(watched)) {
      QTimer::singleShot(0, dialog, [dialog] { dialog->accept(); });
    }
    return false;
  }

 private:
  QString file_;
};

struct RunFigures {
  std::size_t lines = 0;  // record frames sent
  double seconds = 0;     // first record's request -> last answer, by the trace's stamps
  double cpuMicrosPerLine = 0;
  double switchesPerLine = 0;
};

// Milliseconds of the day from a trace line's "hh:mm:ss:mmmm" stamp.
long StampMillis(const std::string& line) {
  unsigned h = 0, m = 0, s = 0, ms = 0;
  if (std::sscanf(line.c_str(), "%u:%u:%u:%u", &h, &m, &s, &ms) != 4) return -1;
  return ((static_cast<long>(h) * 60 + m) * 60 + s) * 1000 + ms;
}

// From the first record frame's request (mode 'B', 16 data bytes) to the last answer.
bool TimeFromTrace(const std::string& path, RunFigures& figures) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  long first = -1, last = -1;
  figures.lines = 0;
  while (std::getline(in, line)) {
    if (line.find(" R< 42 10 ") != std::string::npos) {
      if (first < 0) first = StampMillis(line);
      ++figures.lines;
    } else if (line.find(" R> ") != std::string::npos) {
      last = StampMillis(line);
    }
  }
  if (first < 0 || last < 0 || figures.lines == 0) return false;
  if (last < first) last += 24L * 3600 * 1000;  // past midnight
  figures.seconds = static_cast<double>(last - first) / 1000;
  return true;
}

double Micros(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec); }

class AppBench {
 public:
  AppBench(std::string radioSim, const std::filesystem::path& work)
      : radioSim_(std::move(radioSim)), work_(work) {
    // The window reads update.ini where it runs: a serial link, error checking on.
    QDir::setCurrent(QString::fromStdString(work_.string()));
    std::ofstream("update.ini") << "[SERIAL INTERFACE]\r\nCOMPORT=COM1\r\nSTOP ON ERRORS=0\r\n"
                                   "[ACTIVE INTERFACE]\r\nETHERNET=0\r\nSERIAL=1\r\n";
    objects_ = std::make_unique<ProcessObjects>(std::vector<std::string>{"flash-update"});
    started_ = objects_->updateApp.Start();
  }

  bool ok() const { return started_ && objects_->updateApp.mainWindow() != nullptr; }

  // One Program of a fresh file of `lines` records against a new radio-sim.
  bool Program(std::size_t lines, std::vector<std::string> radioArgs, RunFigures& figures) {
    const std::string ruf = (work_ / "746-bench.ruf").string();
    if (!WriteRecordFile(ruf, lines)) return false;
    radioArgs.insert(radioArgs.begin(), {"--model", "746"});
    RadioSim radio(radioSim_, radioArgs);
    if (radio.endpoint().empty()) {
      std::fprintf(stderr, "bench: radio-sim did not start (%s)\n", radioSim_.c_str());
      return false;
    }
    objects_->linkSettings.comPort = radio.endpoint();

    MainWindow& window = *objects_->updateApp.mainWindow();
    ModalAnswers answers(QString::fromStdString(ruf));
    qApp->installEventFilter(&answers);
    rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    bool ended = false;
    QEventLoop loop;
    const auto connection = QObject::connect(&window, &MainWindow::operationEnded, [&] {
      ended = true;
      loop.quit();
    });
    QTimer::singleShot(kOperationLimit, &loop, &QEventLoop::quit);
    window.RunCommand(ID_UPDATE_RADIO);
    if (!ended) loop.exec();
    rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    QCoreApplication::processEvents();  // the result dialog's answer
    QObject::disconnect(connection);
    qApp->removeEventFilter(&answers);
    radio.Stop(SIGTERM);

    if (!ended || window.lastOutcome() != OperationOutcome::ProgramSucceeded) {
      std::fprintf(stderr, "bench: the desktop program's Program did not succeed\n");
      return false;
    }
    if (!TimeFromTrace((work_ / "comms.txt").string(), figures)) {
      std::fprintf(stderr, "bench: no record lines in the trace\n");
      return false;
    }
    const double cpu = Micros(after.ru_utime) - Micros(before.ru_utime) + Micros(after.ru_stime) -
                       Micros(before.ru_stime);
    const auto lineCount = static_cast<double>(figures.lines);
    figures.cpuMicrosPerLine = cpu / lineCount;
    figures.switchesPerLine = static_cast<double>(after.ru_nvcsw - before.ru_nvcsw) / lineCount;
    return true;
  }

 private:
  std::string radioSim_;
  std::filesystem::path work_;
  std::unique_ptr<ProcessObjects> objects_;
  bool started_ = false;
};

std::string List(const std::vector<double>& values, const char* format) {
  std::string text;
  for (double v : values) text += (text.empty() ? "" : ", ") + Text(format, v);
  return text;
}

int Run(const std::string& radioSim) {
  const ScratchFolder work("app-links");
  if (!work.ok()) return 1;
  AppBench bench(radioSim, work.path());
  if (!bench.ok()) {
    std::fprintf(stderr, "bench: the desktop program did not start\n");
    return 1;
  }

  std::vector<double> rates, cpu, switches;
  for (int run = 0; run < kImmediateRuns; ++run) {
    RunFigures figures;
    if (!bench.Program(kImmediateLines, {}, figures)) return 1;
    rates.push_back(static_cast<double>(figures.lines) / figures.seconds);
    cpu.push_back(figures.cpuMicrosPerLine);
    switches.push_back(figures.switchesPerLine);
  }
  PrintRow("desktop program, serial pty, immediate radio-sim: line rate",
           Text("%.0f lines/s", *std::max_element(rates.begin(), rates.end())),
           Text("%zu lines a run, best of %d runs (%s); a line's round trip %.1f us", kImmediateLines,
                kImmediateRuns, List(rates, "%.0f").c_str(),
                1e6 / *std::max_element(rates.begin(), rates.end())));
  PrintRow("desktop program, immediate radio-sim: CPU time per line",
           Text("%.1f us", *std::min_element(cpu.begin(), cpu.end())),
           Text("every thread of the program, user + system, best of %d runs (%s us)",
                kImmediateRuns, List(cpu, "%.1f").c_str()));
  PrintRow("desktop program, immediate radio-sim: voluntary context switches per line",
           Text("%.2f", Median(switches)),
           Text("every thread of the program, median of %d runs (%s)", kImmediateRuns,
                List(switches, "%.2f").c_str()));

  std::vector<double> pacedPercents;
  for (int run = 0; run < kPacedRuns; ++run) {
    RunFigures figures;
    if (!bench.Program(kPacedLines, {"--wire-paced"}, figures)) return 1;
    pacedPercents.push_back(static_cast<double>(figures.lines) * kLineWireMicros /
                            (figures.seconds * 1e6) * 100);
  }
  PrintRow("desktop program, serial pty, radio-sim --wire-paced: Program",
           Text("%.1f%% of the wire limit", *std::max_element(pacedPercents.begin(), pacedPercents.end())),
           Text("%zu lines a run, best of %d runs (%s)", kPacedLines, kPacedRuns,
                List(pacedPercents, "%.1f%%").c_str()));
  return 0;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return flash::bench::Run(argc > 1 ? argv[1] : RADIO_SIM_PATH);
}
