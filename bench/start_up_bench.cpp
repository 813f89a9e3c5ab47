// The desktop program's start-up on the offscreen platform: the time from its
// launch to its first paint, and its peak memory.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/scratch_folder.h"
#include "tests/support/child_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;
constexpr int kRuns = 7;

int Run(const std::string& program) {
  const ScratchFolder scratch("start-up");
  if (!scratch.ok()) return 1;
  std::vector<double> startMillis;
  std::vector<double> peakKiB;
  for (int run = 0; run < kRuns; ++run) {
    // In a scratch folder: the program reads and writes update.ini where it runs.
    test::ChildOptions options;
    options.argv = {program};
    options.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                           {"FLASH_UPDATE_EXIT_AFTER_FIRST_PAINT", "1"}};
    options.workingDirectory = scratch.path().string();
    test::ChildProcess child(options);
    std::chrono::steady_clock::time_point painted;
    const std::string line = child.WaitForLine("flash-update: first paint", 30s, &painted);
    const int status = child.Wait(30s);
    if (line.empty() || status != 0) {
      std::fprintf(stderr, "bench: %s did not report its first paint and exit (status %d)\n",
                   program.c_str(), status);
      return 1;
    }
    startMillis.push_back(std::chrono::duration<double, std::milli>(painted - child.startTime()).count());
    peakKiB.push_back(static_cast<double>(child.peakMemoryKiB()));
  }
  PrintRow("desktop program (offscreen): launch -> first paint",
           Text("%.0f ms median (fastest %.0f)", Median(startMillis), Quantile(startMillis, 0)),
           Text("%d launches; FLASH_UPDATE_EXIT_AFTER_FIRST_PAINT=1", kRuns));
  PrintRow("desktop program (offscreen): peak memory", Text("%.1f MiB", Median(peakKiB) / 1024),
           "ru_maxrss of the child, through its normal exit");
  return 0;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  return flash::bench::Run(argc > 1 ? argv[1] : FLASH_UPDATE_PATH);
}
