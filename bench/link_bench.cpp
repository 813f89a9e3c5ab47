// The program's own time per line on a serial link, the throughput against a
// radio paced like a 57600-baud line, and the line rate over UDP on loopback.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bare_client.h"
#include "bench/busy_countdown_probe.h"
#include "bench/bench_report.h"
#include "bench/operation_run.h"
#include "bench/ruf_file_maker.h"
#include "bench/scratch_folder.h"
#include "link/comms_trace.h"
#include "link/system_clock.h"
#include "tests/support/radio_sim_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;
using test::RadioSim;

// A 16-data-byte record is a 23-byte frame and a 4-byte echo (":XX\r"), 10 bits a byte.
constexpr double kLineWireMicros = (23.0 + 4.0) * 10.0 / 57600.0 * 1e6;  // 4687.5 µs
constexpr std::size_t kRecordFrameSize = 23;
constexpr std::uint8_t kProgramModeByte = 0x42;
constexpr int kCountdownSamples = 2000;
constexpr std::size_t kOverheadLines = 2000;
constexpr int kOverheadRuns = 5;
constexpr std::size_t kPacedLines = 2500;
constexpr int kPacedRuns = 5;
constexpr int kCeilingRuns = 2;
constexpr std::size_t kUdpLines = 4000;
constexpr int kTraceLines = 20000;

double Micros(BenchClock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

bool IsRecordFrame(const TimedWrite& w) {
  return w.size == kRecordFrameSize && w.firstByte == kProgramModeByte;
}

struct LineTimes {
  // For each record frame after another record frame: from the arrival of the
  // answer before it (the previous record's echo) to the call that writes it.
  std::vector<double> stepMicros;
  // For each record frame: from the call that writes it to its echo's arrival.
  std::vector<double> roundTripMicros;
  // The steps that update the progress (every tenth line), cut around the
  // countdown: the answer's trace stamp comes just before it and the progress
  // update just after it (once the next line is read). Outside: arrival -> trace
  // stamp plus progress update -> write. Inside: the countdown as it ran.
  std::vector<double> outsideMicros;
  std::vector<double> insideMicros;
  std::size_t recordFrames = 0;
  BenchClock::time_point firstLineStart{};  // arrival of the answer before the first record
  BenchClock::time_point lastEcho{};        // arrival of the last record's echo

  double Seconds() const { return std::chrono::duration<double>(lastEcho - firstLineStart).count(); }
};

// The first moment in [from, to) at or after `at`, or nothing.
const BenchClock::time_point* FirstAtOrAfter(const std::vector<BenchClock::time_point>& moments,
                                             BenchClock::time_point at, BenchClock::time_point to) {
  const auto found = std::lower_bound(moments.begin(), moments.end(), at);
  return found != moments.end() && *found < to ? &*found : nullptr;
}

LineTimes Analyse(const OperationRunResult& run) {
  LineTimes times;
  const auto& arrivals = run.arrivals;
  std::size_t next = 0;  // the first arrival after the write looked at
  bool previousWasRecord = false;
  for (const TimedWrite& write : run.writes) {
    while (next < arrivals.size() && arrivals[next] <= write.time) ++next;
    const bool record = IsRecordFrame(write);
    if (record) {
      ++times.recordFrames;
      if (times.recordFrames == 1 && next > 0) times.firstLineStart = arrivals[next - 1];
      if (previousWasRecord && next > 0) {
        const BenchClock::time_point arrival = arrivals[next - 1];
        times.stepMicros.push_back(Micros(write.time - arrival));
        const auto* traced = FirstAtOrAfter(run.traceStamps, arrival, write.time);
        const auto* progress = traced ? FirstAtOrAfter(run.statusStamps, *traced, write.time) : nullptr;
        if (progress != nullptr) {
          times.outsideMicros.push_back(Micros(*traced - arrival) + Micros(write.time - *progress));
          times.insideMicros.push_back(Micros(*progress - *traced));
        }
      }
      if (next < arrivals.size()) {
        times.roundTripMicros.push_back(Micros(arrivals[next] - write.time));
        times.lastEcho = arrivals[next];
      }
    }
    previousWasRecord = record;
  }
  return times;
}

// The trace's own cost for one line: the request's record and the echo's, each
// handed to the kernel by one write(2) when it is written.
struct TraceRecordCost {
  double sentMicros = -1;
  double receivedMicros = -1;
};

TraceRecordCost TimeTraceRecords(const std::filesystem::path& folder) {
  SystemClock clock;
  CommsTrace trace(clock);
  trace.SetPath((folder / "trace-cost.txt").string());
  if (!trace.Open()) return {};
  // A 16-data-byte record frame as SendToRadio traces it, and its echo as the parser does.
  std::string frame;
  for (std::size_t i = 0; i < kRecordFrameSize; ++i) {
    frame += Text("%02x ", static_cast<unsigned>(i * 11 % 256));
  }
  const std::string echo = "3A 31 45 0D \r";
  std::vector<double> sent;
  std::vector<double> received;
  sent.reserve(kTraceLines);
  received.reserve(kTraceLines);
  for (int i = 0; i < kTraceLines; ++i) {
    const auto start = BenchClock::now();
    trace.TraceSent(frame);
    const auto between = BenchClock::now();
    trace.TraceReceived(echo);
    const auto end = BenchClock::now();
    sent.push_back(Micros(between - start));
    received.push_back(Micros(end - between));
  }
  trace.Close();
  if (trace.writeFailed()) return {};
  return {Median(sent), Median(received)};
}

class Bench {
 public:
  Bench(std::string radioSim, std::filesystem::path work)
      : radioSim_(std::move(radioSim)), work_(std::move(work)) {}

  // The bare client's record lines against a new paced radio-sim; negative on failure.
  double BareClientSeconds(std::size_t lines) {
    RadioSim radio(radioSim_, {"--model", "746", "--wire-paced"});
    if (radio.endpoint().empty()) return -1;
    const double seconds = TimeBareClientLines(radio.endpoint(), lines);
    radio.Stop(SIGTERM);
    return seconds;
  }

  // One Program of a fresh file of `lines` records against a new radio-sim.
  // Empty times when the radio did not come up or the Program failed.
  LineTimes Program(const std::string& name, std::size_t lines, std::vector<std::string> radioArgs,
                    bool udp = false) {
    const std::string ruf = (work_ / ("746-" + name + ".ruf")).string();
    if (!WriteRecordFile(ruf, lines)) {
      std::fprintf(stderr, "bench: cannot write %s\n", ruf.c_str());
      return {};
    }
    radioArgs.insert(radioArgs.begin(), {"--model", "746"});
    RadioSim radio(radioSim_, radioArgs);
    const std::string& endpoint = radio.endpoint();
    if (endpoint.empty()) {
      std::fprintf(stderr, "bench: radio-sim did not start (%s)\n", radioSim_.c_str());
      return {};
    }
    OperationRunSetup setup;
    setup.rufFile = ruf;
    setup.tracePath = (work_ / "comms.txt").string();
    if (udp) {
      setup.udpAddress = endpoint.substr(0, endpoint.rfind(':'));
      setup.udpPort = radio.udpPort();
    } else {
      setup.serialDevice = endpoint;
    }
    const OperationRunResult run = RunProgramOperation(setup);
    radio.Stop(SIGTERM);
    if (!run.ended || run.outcome != OperationOutcome::ProgramSucceeded) {
      std::fprintf(stderr, "bench: the %s Program did not succeed (outcome %d)\n", name.c_str(),
                   static_cast<int>(run.outcome));
      return {};
    }
    return Analyse(run);
  }

 private:
  std::string radioSim_;
  std::filesystem::path work_;
};

std::string List(const std::vector<double>& values, const char* format) {
  std::string text;
  for (double v : values) text += (text.empty() ? "" : ", ") + Text(format, v);
  return text;
}

int Run(const std::string& radioSim) {
  const ScratchFolder work("links");
  if (!work.ok()) return 1;
  Bench bench(radioSim, work.path());
  int status = 0;

  // The countdown on its own, for scale: the same instructions every time, so the
  // fastest timing is its cost (on this machine it can run twice as slowly).
  std::vector<double> countdown;
  for (int i = 0; i < kCountdownSamples; ++i) countdown.push_back(Micros(TimeBusyCountdown()));
  PrintRow("busy countdown (50000 iterations), timed alone",
           Text("%.1f us (median %.1f)", Quantile(countdown, 0), Median(countdown)),
           Text("fastest of %d; %.2f%% of a line's wire time; kept", kCountdownSamples,
                Quantile(countdown, 0) / kLineWireMicros * 100));

  const TraceRecordCost traceCost = TimeTraceRecords(work.path());
  if (traceCost.sentMicros < 0) {
    std::fprintf(stderr, "bench: cannot write a trace in %s\n", work.path().c_str());
    return 1;
  }
  PrintRow("trace: one line's records, each reaching the file by its own write(2)",
           Text("%.1f us median", traceCost.sentMicros + traceCost.receivedMicros),
           Text("request's record %.1f us + echo's %.1f us; %d lines in %s", traceCost.sentMicros,
                traceCost.receivedMicros, kTraceLines, work.path().parent_path().c_str()));

  // Overhead: an immediate radio on a pseudo-terminal. Another program on this
  // machine can only add time, so the best of several runs is the program's own.
  std::vector<double> stepMedians;
  std::vector<double> outsideMedians;
  std::vector<double> insideMedians;
  std::vector<double> roundTrips;
  double lineRate = 0;
  std::size_t samples = 0;
  for (int run = 0; run < kOverheadRuns; ++run) {
    const LineTimes times = bench.Program("overhead", kOverheadLines, {});
    if (times.outsideMicros.empty()) return 1;
    stepMedians.push_back(Median(times.stepMicros));
    outsideMedians.push_back(Median(times.outsideMicros));
    insideMedians.push_back(Median(times.insideMicros));
    roundTrips.push_back(Median(times.roundTripMicros));
    lineRate = std::max(lineRate, static_cast<double>(times.recordFrames) / times.Seconds());
    samples = times.outsideMicros.size();
  }
  const std::size_t best = static_cast<std::size_t>(
      std::min_element(outsideMedians.begin(), outsideMedians.end()) - outsideMedians.begin());
  // The echo's trace record is written between the answer's trace stamp and the
  // progress update, inside the countdown's bracket: it is added here.
  const double overheadMicros = outsideMedians[best] + traceCost.receivedMicros;
  PrintRow("serial pty, immediate radio-sim: echo arrival -> next frame's write",
           Text("%.1f us median", stepMedians[best]),
           Text("%zu lines a run (runs: %s us); countdown included", kOverheadLines,
                List(stepMedians, "%.1f").c_str()));
  PrintRow("serial pty: the countdown as it ran there",
           Text("%.1f us median", insideMedians[best]),
           Text("answer's trace stamp -> progress update after the next line is read (runs: %s us)",
                List(insideMedians, "%.1f").c_str()));
  PrintRow("serial pty: per-line overhead without the countdown",
           Text("%.1f us median", overheadMicros),
           Text("arrival -> trace stamp + progress update -> write (the request's trace record "
                "included), %zu lines a run, best of %d runs (%s us), + the echo's trace record "
                "(%.1f us); %.2f%% of 4687.5 us; goal < 20 us (0.4%%)",
                samples, kOverheadRuns, List(outsideMedians, "%.1f").c_str(),
                traceCost.receivedMicros, overheadMicros / kLineWireMicros * 100));
  PrintRow("serial pty: frame's write -> echo arrival (radio-sim, pty, the loop's wake-up)",
           Text("%.1f us median", *std::min_element(roundTrips.begin(), roundTrips.end())),
           "no latency timer in the way: low latency is asked for on open");
  PrintRow("serial pty, immediate radio-sim: line rate", Text("%.0f lines/s", lineRate),
           "a 57600-baud line carries 213 lines/s");

  // Paced throughput: radio-sim answers after the wire time of the request and the answer.
  std::vector<double> pacedPercents;
  LineTimes bestPaced;
  for (int run = 0; run < kPacedRuns; ++run) {
    const LineTimes times = bench.Program("paced", kPacedLines, {"--wire-paced"});
    if (times.recordFrames == 0) return 1;
    const double percent =
        static_cast<double>(times.recordFrames) * kLineWireMicros / (times.Seconds() * 1e6) * 100;
    if (pacedPercents.empty() || percent > *std::max_element(pacedPercents.begin(), pacedPercents.end())) {
      bestPaced = times;
    }
    pacedPercents.push_back(percent);
  }
  const double pacedPercent = *std::max_element(pacedPercents.begin(), pacedPercents.end());
  const double pacedLineMicros = bestPaced.Seconds() * 1e6 / static_cast<double>(bestPaced.recordFrames);
  std::vector<double> lateMicros;
  for (double roundTrip : bestPaced.roundTripMicros) lateMicros.push_back(roundTrip - kLineWireMicros);
  PrintRow("serial pty, radio-sim --wire-paced: Program",
           Text("%zu lines in %.3f s (wire limit %.3f s)", bestPaced.recordFrames, bestPaced.Seconds(),
                static_cast<double>(bestPaced.recordFrames) * kLineWireMicros / 1e6),
           Text("%.1f%% of the wire limit, best of %d runs (%s); goal >= 97%%", pacedPercent,
                kPacedRuns, List(pacedPercents, "%.1f%%").c_str()));
  PrintRow("serial pty, paced: echo arrival later than the wire time",
           Text("+%.1f us median", Median(lateMicros)),
           "the pty both ways, radio-sim's wake-up, the loop's wake-up");
  PrintRow("serial pty, paced: echo arrival -> next frame's write",
           Text("%.1f us median", Median(bestPaced.stepMicros)),
           Text("countdown included (after a 4.7 ms sleep it runs slower than alone); 90%% of "
                "lines within %.1f us", Quantile(bestPaced.stepMicros, 0.9)));

  // The rig's own ceiling: the same paced radio answering a bare one-thread client.
  std::vector<double> ceilingPercents;
  double ceilingLineMicros = 0;
  for (int run = 0; run < kCeilingRuns; ++run) {
    const double seconds = bench.BareClientSeconds(kPacedLines);
    if (seconds <= 0) {
      std::fprintf(stderr, "bench: the bare client got no answer from radio-sim\n");
      return 1;
    }
    ceilingPercents.push_back(static_cast<double>(kPacedLines) * kLineWireMicros / (seconds * 1e6) * 100);
    const double lineMicros = seconds * 1e6 / static_cast<double>(kPacedLines);
    if (run == 0 || lineMicros < ceilingLineMicros) ceilingLineMicros = lineMicros;
  }
  PrintRow("rig ceiling: the same paced radio-sim with a bare client, no program",
           Text("%.1f%% of the wire limit", kLineWireMicros / ceilingLineMicros * 100),
           Text("%.1f us a line; best of %d runs (%s); one thread, the engine's frames, no "
                "countdown, no engine loop",
                ceilingLineMicros, kCeilingRuns, List(ceilingPercents, "%.1f%%").c_str()));
  PrintRow("paced: the program's share of a line (paced line minus the rig's)",
           Text("%.1f us, %.2f%%", pacedLineMicros - ceilingLineMicros,
                (pacedLineMicros - ceilingLineMicros) / kLineWireMicros * 100),
           "the countdown, the engine's work, trace and progress");

  // UDP on loopback with an immediate radio.
  const LineTimes udp = bench.Program("udp", kUdpLines, {"--udp", "127.0.0.2:0"}, true);
  if (udp.recordFrames == 0) {
    status = 1;
  } else {
    PrintRow("UDP loopback, immediate radio-sim: line rate",
             Text("%.0f lines/s", static_cast<double>(udp.recordFrames) / udp.Seconds()),
             Text("%zu lines; datagram read -> next datagram %.1f us median (countdown included)",
                  udp.recordFrames, Median(udp.stepMicros)));
  }

  std::printf("overhead: median %.1f us per line, %.2f%% of wire time at 57600 baud\n", overheadMicros,
              overheadMicros / kLineWireMicros * 100);
  std::printf("paced throughput: %.1f%% of the 57600-baud wire limit\n", pacedPercent);
  return status;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  const std::string radioSim = argc > 1 ? argv[1] : RADIO_SIM_PATH;
  return flash::bench::Run(radioSim);
}
