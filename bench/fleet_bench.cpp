// A rack at once: one flash-update-cli run programs the demo file into 8 radios
// paced like a 57600-baud line, each on its own pseudo-terminal, against the same
// run with one of them alone. The time of a run is its process's, launch to exit.
// In turns with them, a station takes 8 such radios plugged in 100 ms apart, against
// the fleet of 8 and the staggering.
#include <signal.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/scratch_folder.h"
#include "bench/station_bench.h"
#include "tests/support/child_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;
constexpr int kRadios = 8;
constexpr int kRuns = 3;  // of each, taken in turns

std::string List(const std::vector<double>& values) {
  std::string text;
  for (double v : values) text += (text.empty() ? "" : ", ") + Text("%.3f", v);
  return text;
}

class Rack {
 public:
  Rack(std::string tool, std::string demoFile, std::filesystem::path work)
      : tool_(std::move(tool)), demoFile_(std::move(demoFile)), work_(std::move(work)) {}

  // Seconds of one Program of the demo file into radios 1 to n; negative when a
  // radio did not succeed, as the run's report tells.
  double Program(int n) {
    test::ChildOptions options;
    options.argv = {tool_, "program", demoFile_, "--quiet", "--trace-dir", "traces", "--report", "r.json"};
    for (int k = 1; k <= n; ++k) options.argv.insert(options.argv.end(), {"--serial", Text("./r%d", k)});
    options.workingDirectory = work_.string();
    std::error_code ignored;
    std::filesystem::remove(work_ / "r.json", ignored);
    test::ChildProcess run(options);
    const int status = run.Wait(60s);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - run.startTime()).count();
    int succeeded = 0;
    try {
      for (const auto& radio : nlohmann::json::parse(ReadFile(work_ / "r.json"))) {
        succeeded += radio.at("outcome") == "success";
      }
    } catch (const nlohmann::json::exception& e) {
      std::fprintf(stderr, "bench: the report of the run is not JSON: %s\n", e.what());
    }
    if (status != 0 || succeeded != n) {
      std::fprintf(stderr, "bench: %d of %d radios succeeded (status %d)\n%s%s", succeeded, n, status,
                   run.out().c_str(), run.err().c_str());
      return -1;
    }
    return seconds;
  }

 private:
  static std::string ReadFile(const std::filesystem::path& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
      std::fclose(file);
    }
    return text;
  }

  std::string tool_;
  std::string demoFile_;
  std::filesystem::path work_;
};

int Run(const std::string& tool, const std::string& radioSim, const std::string& demoFile) {
  const ScratchFolder work("fleet");
  if (!work.ok()) return 1;
  test::ChildOptions options;
  options.argv = {radioSim, "--model", "746", "--wire-paced", "--count", std::to_string(kRadios),
                  "--link", "./r%d"};
  options.workingDirectory = work.path().string();
  test::ChildProcess radios(options);
  const auto allReady = [](const std::string& out) {
    int lines = 0;
    for (std::size_t at = 0; (at = out.find(" radio on ", at)) != std::string::npos; ++at) ++lines;
    return lines == kRadios && out.ends_with("\n");
  };
  if (!radios.WaitForOutput(allReady, 5s)) {
    std::fprintf(stderr, "bench: %s did not start %d radios\n%s", radioSim.c_str(), kRadios,
                 radios.err().c_str());
    return 1;
  }
  // In turns, so that other load on the machine falls on both alike; the best of each.
  Rack rack(tool, demoFile, work.path());
  std::vector<double> one;
  std::vector<double> all;
  std::vector<StationFigures> stations;
  for (int run = 0; run < kRuns; ++run) {
    one.push_back(rack.Program(1));
    all.push_back(rack.Program(kRadios));
    stations.push_back(MeasureStation(tool, radioSim, demoFile));
    if (one.back() < 0 || all.back() < 0 || stations.back().seconds < 0) return 1;
  }
  radios.Signal(SIGTERM);
  radios.Wait(5s);
  const double oneBest = *std::min_element(one.begin(), one.end());
  const double allBest = *std::min_element(all.begin(), all.end());
  PrintRow(Text("fleet: %d paced radios on pseudo-terminals, one flash-update-cli run", kRadios),
           Text("%.3f s against %.3f s for one (%.2fx)", allBest, oneBest, allBest / oneBest),
           Text("the demo file, traces and report; launch -> exit, best of %d runs each (%d: %s s; one: "
                "%s s); goal <= 1.05x", kRuns, kRadios, List(all).c_str(), List(one).c_str()));
  // The station's time, best of its runs as the fleet's; its delay, the worst of all.
  std::vector<double> stationSeconds;
  double worstDelayMs = 0;
  for (const StationFigures& s : stations) {
    stationSeconds.push_back(s.seconds);
    worstDelayMs = std::max(worstDelayMs, s.worstFirstRequestMs);
  }
  const double stationBest = *std::min_element(stationSeconds.begin(), stationSeconds.end());
  const double stagger = (kStationRadios - 1) * kStationPlugGapMs / 1000.0;
  const double stationRatio = stationBest / (allBest + stagger);
  PrintRow(Text("station: %d paced radios plugged %d ms apart", kStationRadios, kStationPlugGapMs),
           Text("%.3f s against %.3f s + %.1f s (%.2fx); first request <= %.0f ms after a link appeared",
                stationBest, allBest, stagger, stationRatio, worstDelayMs),
           Text("first link -> station's exit (--count, records written), best of %d runs (%s s); delay: "
                "link's time stamp -> the trace's first request, worst of all radios; goals < 100 ms, <= 1.05x",
                kRuns, List(stationSeconds).c_str()));
  std::printf("fleet: %d paced radios in %.3f s against %.3f s for one (%.2fx)\n", kRadios, allBest,
              oneBest, allBest / oneBest);
  std::printf("station: %d radios plugged %d ms apart, first request at most %.0f ms after each appeared, "
              "all done in %.3f s against %.3f s for the fleet of %d plus the %.1f s of staggering (%.2fx)\n",
              kStationRadios, kStationPlugGapMs, worstDelayMs, stationBest, allBest, kRadios, stagger,
              stationRatio);
  return 0;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  return flash::bench::Run(argc > 1 ? argv[1] : FLASH_UPDATE_CLI_PATH, argc > 2 ? argv[2] : RADIO_SIM_PATH,
                           argc > 3 ? argv[3] : EXAMPLES_DIR "/746-demo.ruf");
}
