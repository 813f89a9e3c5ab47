#include "cli/fleet_run.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/file_check.h"
#include "cli/fleet_host.h"
#include "cli/fleet_report.h"
#include "engine/ruf_survey.h"
#include "engine/update_engine.h"
#include "link/comms_trace.h"
#include "link/file_kind.h"
#include "link/output_file.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/shared_radio_socket.h"
#include "link/stop_signals.h"
#include "link/system_clock.h"

namespace flash {
namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

constexpr auto kTerminalRedrawPeriod = std::chrono::milliseconds{100};
// Plain progress: a line per radio at its start and end, and at most this often between.
constexpr auto kPlainProgressPeriod = std::chrono::seconds{5};
// A report going to standard output first lets the reader take the summary.
constexpr auto kReportWaitForReader = std::chrono::seconds{2};

struct Radio {
  Radio(const CliLink& given, const CliOptions& options, SharedRadioSocket& shared,
        ConsoleOutput& console, Clock& clock,
        const std::string& activity, SteadyTime start, int linesTotal, const std::string& tracePath)
      : link(given),
        settings(LinkSettingsFor(given, options.passcode)),
        udp(shared),
        trace(clock),
        host(console, clock, given.Label(), options.rufFile, options.personality, activity, start,
             linesTotal),
        engine(host, settings, serial, udp, trace) {
    trace.SetPath(tracePath);
    if (options.verifyAfterProgram) host.ExpectVerifyAfterProgram();
  }

  bool active() const { return !host.ended() && engine.operationRunning(); }

  CliLink link;
  LinkSettings settings;
  SerialPort serial;
  SharedRadioSocket::Link udp;
  CommsTrace trace;
  FleetHost host;
  UpdateEngine engine;
  bool watchDevice = true;  // a device that is gone is no longer polled
  SteadyTime lastPlainLine{};
};

std::string Activity(CliCommand command) {
  return command == CliCommand::Verify ? "verifying"
         : command == CliCommand::Test ? "testing"
                                       : "programming";
}

// Why the file may not go to any radio, before any link opens; empty when it may.
std::string FileRefusal(const std::string& path, const RufSurvey& survey, bool verifying) {
  if (!survey.opened) return "Unable to open file " + path;
  std::string reason = RefusalReason(survey, path);
  // Said once for all the radios rather than by each radio's operation.
  if (reason.empty() && verifying) reason = VerifyRefusalReason(survey, path);
  return reason;
}

// A folder for the traces that does not exist is made, with its missing parents.
std::string TraceFolderFault(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return {};
  if (std::filesystem::create_directories(folder, error)) return {};
  return "the trace folder " + folder + " cannot be made: " +
         (error ? error.message() : "a file of that name is in its place");
}

// A report that cannot be written is told before any radio is touched.
std::string ReportFault(const std::string& path, const std::string& rufFile) {
  const OutputProblem problem = CheckOutputFile(path, RunInputs(rufFile), OutputNaming::ByUser);
  return problem.ok() ? std::string() : "the report " + path + " cannot be written: " + problem.reason;
}

int MillisecondsUntil(std::optional<SteadyTime> next) {
  if (!next) return -1;
  const auto left = *next - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

class FleetLoop {
 public:
  FleetLoop(std::vector<std::unique_ptr<Radio>>& radios, SharedRadioSocket& shared,
            StopSignals& stops, ConsoleOutput& console)
      : radios_(radios), shared_(shared), stops_(stops), console_(console) {}

  // Answers the stop signal's number, or 0.
  int Run() {
    ShowProgress(true);
    while (AnyActive()) {
      std::vector<pollfd> watched = {{stops_.fd(), POLLIN, 0},
                                     {console_.outWaitingFd(), POLLOUT, 0},
                                     {console_.errWaitingFd(), POLLOUT, 0}};
      for (const auto& radio : radios_) {
        watched.push_back({radio->watchDevice ? radio->serial.InputFd() : -1, POLLIN, 0});
      }
      const std::vector<int> socketFds = shared_.fds();
      for (const int fd : socketFds) watched.push_back({fd, POLLIN, 0});
      if (::poll(watched.data(), watched.size(), MillisecondsUntil(NextDeadline())) < 0) {
        if (errno == EINTR) continue;
        console_.Error(std::string("poll: ") + std::strerror(errno));
        StopAll(0);
        break;
      }
      if (watched[0].revents & POLLIN) {
        const int signalNumber = stops_.Take();
        StopAll(signalNumber);
        return signalNumber;
      }
      if (watched[1].revents != 0 || watched[2].revents != 0) console_.Flush();
      for (std::size_t i = 0; i < radios_.size(); ++i) {
        Radio& radio = *radios_[i];
        if (watched[3 + i].revents == 0 || watched[3 + i].fd != radio.serial.InputFd()) continue;
        const SerialPort::Input input = radio.serial.ServiceInput();
        if (input.deviceGone) radio.watchDevice = false;
        if (input.events != 0 && radio.active()) radio.engine.OnSerialEvent(input.events, input.errors);
      }
      for (std::size_t i = 0; i < socketFds.size(); ++i) {
        if (watched[3 + radios_.size() + i].revents != 0) shared_.ServiceInput(socketFds[i]);
      }
      for (const auto& radio : radios_) {
        while (radio->udp.pending() && radio->active()) radio->engine.OnUdpReadable();
        const auto now = std::chrono::steady_clock::now();
        for (const int id : radio->host.timers().TakeDue(now)) {
          if (!radio->active()) break;
          if (radio->host.timers().IsRunning(id)) radio->engine.OnTimer(id);
        }
      }
      ShowProgress(false);
    }
    return 0;
  }

  // Every radio still running is stopped, its link and trace closed.
  void StopAll(int signalNumber) {
    for (const auto& radio : radios_) {
      if (!radio->active()) continue;
      radio->host.NoteStopSignal(signalNumber);
      radio->engine.StopOperation("stopped by signal " + std::to_string(signalNumber));
    }
  }

  // Draws what changed: on a terminal at most every 100 ms; otherwise a radio's
  // line at its start and end and at most every few seconds between.
  void ShowProgress(bool now) {
    const SteadyTime time = std::chrono::steady_clock::now();
    if (console_.quiet()) return;
    bool changed = false;
    for (const auto& radio : radios_) changed = radio->host.TakeChanged() || changed;
    dirty_ = dirty_ || changed;
    if (!dirty_) return;
    if (console_.terminal()) {
      if (!now && time - lastDraw_ < kTerminalRedrawPeriod) return;
      std::vector<FleetRadio> shown;
      for (const auto& radio : radios_) shown.push_back(radio->host.radio());
      console_.ProgressLines(ProgressLines(shown));
      lastDraw_ = time;
      dirty_ = false;
      return;
    }
    std::vector<std::size_t> due;
    dirty_ = false;
    for (std::size_t i = 0; i < radios_.size(); ++i) {
      Radio& radio = *radios_[i];
      const bool endSeen = radio.host.ended() && !endShown_[i];
      if (endSeen || (!radio.host.ended() && (now || time - radio.lastPlainLine >= kPlainProgressPeriod))) {
        due.push_back(i);
        radio.lastPlainLine = time;
        endShown_[i] = radio.host.ended();
      }
    }
    if (due.empty()) return;
    // The lines of all radios, so that their columns line up from one print to the next.
    std::vector<FleetRadio> shown;
    for (const auto& radio : radios_) shown.push_back(radio->host.radio());
    const std::vector<std::string> lines = ProgressLines(shown);
    std::vector<std::string> printed;
    for (const std::size_t i : due) printed.push_back(lines[i]);
    console_.ProgressLines(printed);
  }

 private:
  bool AnyActive() const {
    return std::any_of(radios_.begin(), radios_.end(), [](const auto& r) { return r->active(); });
  }

  std::optional<SteadyTime> NextDeadline() const {
    std::optional<SteadyTime> next;
    for (const auto& radio : radios_) {
      const auto due = radio->host.timers().NextDeadline();
      if (due && (!next || *due < *next)) next = due;
    }
    // A terminal's last change is drawn when its pause is over.
    if (dirty_ && console_.terminal()) {
      const SteadyTime draw = lastDraw_ + kTerminalRedrawPeriod;
      if (!next || draw < *next) next = draw;
    }
    return next;
  }

  std::vector<std::unique_ptr<Radio>>& radios_;
  SharedRadioSocket& shared_;
  StopSignals& stops_;
  ConsoleOutput& console_;
  bool dirty_ = false;
  SteadyTime lastDraw_{};
  std::vector<bool> endShown_ = std::vector<bool>(radios_.size(), false);
};

}  // namespace

int RunFleet(const CliOptions& options, ConsoleOutput& console) {
  if (std::string reason = RufFileUnreadableReason(options.rufFile); !reason.empty()) {
    console.Error("Unable to open file " + options.rufFile + ": " + reason);
    return kExitFileRefused;
  }
  const RufSurvey survey = SurveyRufFile(options.rufFile);
  if (std::string refusal = FileRefusal(options.rufFile, survey,
                                              options.command == CliCommand::Verify ||
                                                  options.verifyAfterProgram);
      !refusal.empty()) {
    console.Error(refusal + " Nothing was sent to any radio.");
    return kExitFileRefused;
  }
  if (const std::string warning = WarningSummary(survey); !warning.empty()) console.Error(warning);
  std::string fault = options.traceDir ? TraceFolderFault(*options.traceDir) : std::string();
  if (fault.empty() && options.reportPath) fault = ReportFault(*options.reportPath, options.rufFile);
  if (!fault.empty()) {
    console.Error(fault);
    return kExitUsage;
  }
  StopSignals stops;
  if (!stops.ok()) {
    console.Error(std::string("cannot install the signal handlers: ") + std::strerror(errno));
    return kExitLinkNotOpened;
  }

  SystemClock clock;
  SharedRadioSocket shared;
  const SteadyTime start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<Radio>> radios;
  for (const CliLink& link : options.links) {
    std::string trace = "comms-" + link.TraceName() + ".txt";
    if (options.traceDir) {
      trace = (std::filesystem::path(*options.traceDir) / (link.TraceName() + ".txt")).string();
    }
    if (options.tracePath) trace = *options.tracePath;  // one link: its trace may be named
    radios.push_back(std::make_unique<Radio>(link, options, shared, console, clock,
                                             Activity(options.command), start,
                                             survey.dataLines, trace));
  }
  console.Note("Flash Rom Update File - " + options.rufFile + ": " +
               std::to_string(survey.dataLines) + " data lines, " +
               std::to_string(radios.size()) + " radios.");
  OperationOptions operationOptions;
  operationOptions.ignoreErrors = options.ignoreErrors ? 1 : 0;
  operationOptions.errorSwitchFromArgument = options.ignoreErrors;
  for (const auto& radio : radios) {
    if (radio->link.udp) {
      if (std::string message = UnresolvableAddressMessage(radio->link.host); !message.empty()) {
        radio->host.EndUnstarted(OperationOutcome::LinkNotOpened, message);
        continue;
      }
    }
    radio->engine.Run(options.mode(), operationOptions);
  }

  FleetLoop loop(radios, shared, stops, console);
  const int stopSignal = loop.Run();
  for (const auto& radio : radios) {
    if (!radio->host.ended()) radio->host.EndUnstarted(OperationOutcome::CommunicationFailed, "");
  }
  loop.ShowProgress(false);
  if (stopSignal != 0) {
    console.Error("stopped by signal " + std::to_string(stopSignal) +
                  "; every radio's link and trace file are closed.");
  }
  std::vector<FleetRadio> results;
  for (const auto& radio : radios) {
    results.push_back(radio->host.radio());
    if (results.back().exitStatus != kExitSuccess) {
      console.AlsoAsError(results.back().link + ": " + results.back().outcome + ": " +
                          results.back().reason);
    }
  }
  // The report first, so that the summary's last line gives the run's real status.
  int status = FleetExitStatus(results);
  if (options.reportPath) {
    // Into standard output (/dev/stdout) the report comes after what the run printed.
    if (KindOfFile(*options.reportPath) == FileKind::Other) console.Drain(kReportWaitForReader);
    const OutputProblem problem = WriteOutputFile(*options.reportPath, ReportJson(results),
                                                  RunInputs(options.rufFile), OutputNaming::ByUser);
    if (!problem.ok()) {
      console.Error("the report " + *options.reportPath + " was not written: " + problem.reason);
      // The radios' own status says more; a run without its report must not pass for a success.
      if (status == kExitSuccess) status = kExitOutputNotWritten;
    }
  }
  console.Message(SummaryTable(results, status));
  return status;
}

}  // namespace flash
