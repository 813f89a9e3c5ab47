// A station with radios plugged in one after another: flash-update-cli station
// watches a folder, and 8 paced radio-sim radios make their links there 100 ms
// apart, as udev names USB serial adapters. The station's own inotify watch is
// what is measured; this side watches the same folder to note when each link
// appeared.
#include "bench/station_bench.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/scratch_folder.h"
#include "link/directory_watch.h"
#include "tests/support/child_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock::time_point;
constexpr long long kMsPerDay = 24LL * 60 * 60 * 1000;

struct Appearance {
  long long msOfDay = 0;  // UTC, as a trace stamps its lines
  SteadyTime when{};      // when this side saw it
};

std::string PluggedName(int k) { return Text("usb-Bench_Radio_%03d-if00-port0", k); }

// When the link was made, by its own time stamp: the file system's clock runs in
// ticks and stamps the tick's start, so a delay measured from it is never too short.
// Now, when the link is gone already.
long long MadeMsOfDay(const std::filesystem::path& link) {
  struct stat st {};
  if (::lstat(link.c_str(), &st) == 0) {
    return (static_cast<long long>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000) % kMsPerDay;
  }
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return ms.count() % kMsPerDay;
}

// Notes the links that appear until the moment `until`, or until all have.
void NoteAppearances(DirectoryWatch& folder, SteadyTime until, std::map<std::string, Appearance>& seen) {
  while (static_cast<int>(seen.size()) < kStationRadios) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd fd{folder.fd(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
    const SteadyTime now = std::chrono::steady_clock::now();
    for (const DirectoryWatch::Change& change : folder.ReadChanges()) {
      if (change.appeared && !seen.contains(change.name)) {
        seen[change.name] = {MadeMsOfDay(std::filesystem::path(folder.folder()) / change.name), now};
      }
    }
  }
}

// The UTC time of day of the first request in a station's trace of the radio
// `name`; negative when there is none.
long long FirstRequestMs(const std::filesystem::path& traces, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(traces, error)) {
    if (!entry.path().filename().string().starts_with(name + "-")) continue;
    std::ifstream trace(entry.path());
    for (std::string line; std::getline(trace, line);) {
      unsigned h = 0, m = 0, s = 0, ms = 0;
      if (line.find(" R< ") == std::string::npos ||
          std::sscanf(line.c_str(), "%u:%u:%u:%u", &h, &m, &s, &ms) != 4) {
        continue;
      }
      return ((h * 60LL + m) * 60 + s) * 1000 + ms;
    }
  }
  return -1;
}

int SucceededRecords(const std::filesystem::path& records) {
  int succeeded = 0;
  std::ifstream file(records);
  for (std::string line; std::getline(file, line);) {
    try {
      succeeded += nlohmann::json::parse(line).at("outcome") == "success";
    } catch (const nlohmann::json::exception& e) {
      std::fprintf(stderr, "bench: a station record is not JSON: %s\n", e.what());
    }
  }
  return succeeded;
}

}  // namespace

StationFigures MeasureStation(const std::string& tool, const std::string& radioSim,
                              const std::string& demoFile) {
  StationFigures figures;
  const ScratchFolder work("station");
  if (!work.ok()) return figures;
  const std::filesystem::path watched = work.path() / "by-id";
  std::filesystem::create_directory(watched);
  DirectoryWatch folder(watched.string());
  if (!folder.error().empty()) {
    std::fprintf(stderr, "bench: cannot watch %s: %s\n", watched.c_str(), folder.error().c_str());
    return figures;
  }
  test::ChildOptions options;
  options.argv = {tool, "station", demoFile, "--watch", watched.string(), "--records", "records.jsonl",
                  "--trace-dir", "traces", "--count", std::to_string(kStationRadios)};
  options.workingDirectory = work.path().string();
  test::ChildProcess station(options);
  // Its first note comes once its watch is in place.
  if (!station.WaitForOutput([](const std::string& out) { return out.find("\n") != std::string::npos; },
                             5s)) {
    std::fprintf(stderr, "bench: the station did not start\n%s%s", station.out().c_str(),
                 station.err().c_str());
    return figures;
  }

  std::map<std::string, Appearance> seen;
  std::vector<std::unique_ptr<test::ChildProcess>> radios;
  const SteadyTime begin = std::chrono::steady_clock::now();
  for (int k = 1; k <= kStationRadios; ++k) {
    NoteAppearances(folder, begin + (k - 1) * std::chrono::milliseconds(kStationPlugGapMs), seen);
    test::ChildOptions radio;
    radio.argv = {radioSim, "--model", "746", "--wire-paced", "--link", (watched / PluggedName(k)).string()};
    radios.push_back(std::make_unique<test::ChildProcess>(radio));
  }
  NoteAppearances(folder, std::chrono::steady_clock::now() + 5s, seen);
  const int status = station.Wait(60s);
  const SteadyTime end = std::chrono::steady_clock::now();
  for (auto& radio : radios) radio->Signal(SIGTERM);
  for (auto& radio : radios) radio->Wait(5s);

  const int succeeded = SucceededRecords(work.path() / "records.jsonl");
  if (status != 0 || succeeded != kStationRadios || static_cast<int>(seen.size()) != kStationRadios) {
    std::fprintf(stderr, "bench: station: %zu of %d links appeared, %d radios succeeded (status %d)\n%s%s",
                 seen.size(), kStationRadios, succeeded, status, station.out().c_str(),
                 station.err().c_str());
    return figures;
  }
  SteadyTime first = end;
  for (const auto& [name, appearance] : seen) {
    first = std::min(first, appearance.when);
    const long long request = FirstRequestMs(work.path() / "traces", name);
    if (request < 0) {
      std::fprintf(stderr, "bench: station: no request in the trace of %s\n", name.c_str());
      return figures;
    }
    long long delay = request - appearance.msOfDay;
    if (delay < -kMsPerDay / 2) delay += kMsPerDay;  // midnight came between
    figures.worstFirstRequestMs = std::max(figures.worstFirstRequestMs, static_cast<double>(delay));
  }
  figures.radios = kStationRadios;
  figures.seconds = std::chrono::duration<double>(end - first).count();
  return figures;
}

}  // namespace flash::bench
