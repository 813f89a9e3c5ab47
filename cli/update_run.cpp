#include "cli/update_run.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/exit_status.h"
#include "cli/file_check.h"
#include "cli/fleet_report.h"
#include "cli/radio.h"
#include "cli/radio_host.h"
#include "cli/run_checks.h"
#include "cli/station_run.h"
#include "cli/radio_loop.h"
#include "cli/trace_echo.h"
#include "engine/link_settings.h"
#include "engine/ruf_survey.h"
#include "engine/update_engine.h"
#include "link/comms_trace.h"
#include "link/file_kind.h"
#include "link/output_file.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/settings_file.h"
#include "link/shared_radio_socket.h"
#include "link/stop_signals.h"
#include "link/system_clock.h"

namespace flash {
namespace {

constexpr char kDefaultTracePath[] = "comms.txt";
// At the end, what a reader has not taken yet gets this long before the tool gives up on it.
constexpr auto kExitFlushLimit = std::chrono::seconds{2};
// After a stop signal the user waits for the exit, not for a reader that stopped reading.
constexpr auto kExitFlushLimitAfterStop = std::chrono::milliseconds{250};
// A report going to standard output first lets the reader take the summary.
constexpr auto kReportWaitForReader = std::chrono::seconds{2};

// A run of one radio without --links, --trace-dir and --report names its link on
// the command line or takes it from update.ini, and is shown whole.
LinkSettings SettingsOfTheOneRadio(const CliOptions& options, ConsoleOutput& console) {
  if (!options.links.empty()) return LinkSettingsFor(options.links.front(), options.passcode);
  LinkSettings settings;
  // Error checking comes from the command line only, never from the file.
  std::int32_t ignoredErrorSwitch = 0;
  for (const std::string& problem :
       LoadSettings(settings, ignoredErrorSwitch, SettingsFilePath()).problems) {
    console.Error(problem);
  }
  if (options.passcode) settings.radioPasscode = *options.passcode;
  return settings;
}

std::string TracePathOf(const CliOptions& options, const CliLink& link) {
  if (options.tracePath) return *options.tracePath;  // one link: its trace may be named
  if (options.traceDir) {
    return (std::filesystem::path(*options.traceDir) / (link.TraceName() + ".txt")).string();
  }
  return "comms-" + link.TraceName() + ".txt";
}

// Before any link opens: answers an exit status when the run must not start.
std::optional<int> RefuseBeforeStart(const CliOptions& options, const RufSurvey* survey,
                                     ConsoleOutput& console) {
  if (std::string reason = RufFileUnreadableReason(options.rufFile); !reason.empty()) {
    console.Error("Unable to open file " + options.rufFile + ": " + reason);
    return kExitFileRefused;
  }
  if (!survey) return std::nullopt;  // one radio: its engine judges the file and says so
  return RefuseManyRadioRun(options, *survey, "report", options.reportPath, console);
}

// The end of a run of several radios: every radio's failure on standard error, the
// report, and the summary whose last line gives the run's exit status.
int FinishLines(const CliOptions& options, std::vector<std::unique_ptr<Radio>>& radios,
                RadioLoop& loop, int stopSignal, ConsoleOutput& console) {
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

// The end of a run of one radio shown whole: its log already said everything.
int FinishWhole(const Radio& radio, int stopSignal, ConsoleOutput& console) {
  if (stopSignal != 0) {
    console.Error("stopped: " + radio.host.radio().reason +
                  ". The links and the trace file are closed.");
    return kExitSignalBase + stopSignal;
  }
  if (!radio.host.ended()) {
    console.Error("the operation ended without a result.");
    return kExitCommunicationFailed;
  }
  return radio.host.radio().exitStatus;
}

int RunRadios(const CliOptions& options, ConsoleOutput& console) {
  const RadioPresentation presentation =
      options.fleet() ? RadioPresentation::Line : RadioPresentation::Whole;
  const bool whole = presentation == RadioPresentation::Whole;
  const RufSurvey survey = whole ? RufSurvey() : SurveyRufFile(options.rufFile);
  if (const auto refused = RefuseBeforeStart(options, whole ? nullptr : &survey, console)) {
    return *refused;
  }
  const LinkSettings wholeSettings = whole ? SettingsOfTheOneRadio(options, console) : LinkSettings();
  if (whole && wholeSettings.ethernetActive) {
    if (std::string message = UnresolvableAddressMessage(wholeSettings.radioAddress);
        !message.empty()) {
      console.Error(message);
      return kExitLinkNotOpened;
    }
  }
  StopSignals stops;
  if (!stops.ok()) {
    console.Error(std::string("cannot install the signal handlers: ") + std::strerror(errno));
    return kExitLinkNotOpened;
  }

  SystemClock clock;
  SharedRadioSocket shared;
  const RadioHost::TimePoint start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<Radio>> radios;
  std::vector<LoopRadio> driven;
  // The one place that builds a radio's links: a run of one radio has a UDP socket
  // of its own; the radios of a larger run share one per local port.
  const auto add = [&](LinkSettings settings, const std::string& label, const std::string& tracePath) {
    std::unique_ptr<UdpLink> udp;
    RadioSocket* socket = nullptr;
    SharedRadioSocket::Link* sharedLink = nullptr;
    if (whole) {
      udp = std::make_unique<RadioSocket>();
      socket = static_cast<RadioSocket*>(udp.get());
    } else {
      udp = std::make_unique<SharedRadioSocket::Link>(shared);
      sharedLink = static_cast<SharedRadioSocket::Link*>(udp.get());
    }
    RadioHostSetup setup{.link = label,
                         .rufFile = options.rufFile,
                         .personality = options.personality,
                         .mode = options.mode(),
                         .presentation = presentation,
                         .start = start,
                         .linesTotal = survey.dataLines};
    radios.push_back(std::make_unique<Radio>(std::move(settings), std::move(udp), tracePath,
                                             options.verbose, console, clock, stops,
                                             std::move(setup)));
    Radio& radio = *radios.back();
    driven.push_back({&radio.engine, &radio.host, &radio.serial, socket, sharedLink});
  };
  if (whole) {
    add(wholeSettings, options.links.empty() ? std::string() : options.links.front().Label(),
        options.tracePath.value_or(kDefaultTracePath));
  } else {
    for (const CliLink& link : options.links) {
      add(LinkSettingsFor(link, options.passcode), link.Label(), TracePathOf(options, link));
    }
    console.Note("Flash Rom Update File - " + options.rufFile + ": " +
                 std::to_string(survey.dataLines) + " data lines, " +
                 std::to_string(radios.size()) + " radios.");
  }

  OperationOptions operationOptions;
  operationOptions.ignoreErrors = options.ignoreErrors ? 1 : 0;
  operationOptions.errorSwitchFromArgument = options.ignoreErrors;
  for (std::size_t i = 0; i < radios.size(); ++i) {
    Radio& radio = *radios[i];
    if (!whole && options.links[i].udp) {
      if (std::string message = UnresolvableAddressMessage(options.links[i].host); !message.empty()) {
        radio.host.EndUnstarted(OperationOutcome::LinkNotOpened, message);
        continue;
      }
    }
    radio.engine.Run(options.mode(), operationOptions);
  }

  RadioLoop loop(driven, whole ? nullptr : &shared, stops, console, !whole);
  const int stopSignal = loop.Run();
  return whole ? FinishWhole(*radios.front(), stopSignal, console)
               : FinishLines(options, radios, loop, stopSignal, console);
}

}  // namespace

int RunUpdate(const CliOptions& options) {
  ConsoleOutput console(STDOUT_FILENO, STDERR_FILENO, ::isatty(STDOUT_FILENO) == 1);
  console.SetQuiet(options.quiet);
  const int status = options.command == CliCommand::Station ? RunStation(options, console)
                                                            : RunRadios(options, console);
  console.Finish();
  // The stop signals have their default action again: one more ends this wait at once.
  console.Drain(status >= kExitSignalBase ? kExitFlushLimitAfterStop : kExitFlushLimit);
  return status;
}

}  // namespace flash
