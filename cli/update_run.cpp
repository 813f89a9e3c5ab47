#include "cli/update_run.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_host.h"
#include "cli/event_loop.h"
#include "cli/console_output.h"
#include "cli/exit_status.h"
#include "cli/file_check.h"
#include "cli/fleet_run.h"
#include "link/system_clock.h"
#include "cli/timer_set.h"
#include "cli/trace_echo.h"
#include "link/comms_trace.h"
#include "engine/link_settings.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "engine/serial_port_name.h"
#include "link/settings_file.h"
#include "link/stop_signals.h"
#include "engine/update_engine.h"

namespace flash {
namespace {

constexpr char kDefaultTracePath[] = "comms.txt";
// At the end, what a reader has not taken yet gets this long before the tool gives up on it.
constexpr auto kExitFlushLimit = std::chrono::seconds{2};
// After a stop signal the user waits for the exit, not for a reader that stopped reading.
constexpr auto kExitFlushLimitAfterStop = std::chrono::milliseconds{250};

LinkSettings SettingsFor(const CliOptions& options, ConsoleOutput& console) {
  LinkSettings settings;
  if (options.links.empty()) {
    // Error checking comes from the command line only, never from the file.
    std::int32_t ignoredErrorSwitch = 0;
    for (const std::string& problem :
         LoadSettings(settings, ignoredErrorSwitch, SettingsFilePath()).problems) {
      console.Error(problem);
    }
    if (options.passcode) settings.radioPasscode = *options.passcode;
    return settings;
  }
  return LinkSettingsFor(options.links.front(), options.passcode);
}

std::string SystemError(const char* what) {
  const int error = errno;
  return std::string(what) + ": " + std::strerror(error);
}

int Operate(const CliOptions& options, ConsoleOutput& console) {
  if (std::string reason = RufFileUnreadableReason(options.rufFile); !reason.empty()) {
    console.Error("Unable to open file " + options.rufFile + ": " + reason);
    return kExitFileRefused;
  }
  LinkSettings settings = SettingsFor(options, console);
  if (settings.ethernetActive) {
    if (std::string message = UnresolvableAddressMessage(settings.radioAddress); !message.empty()) {
      console.Error(message);
      return kExitLinkNotOpened;
    }
  }

  StopSignals stops;
  if (!stops.ok()) {
    console.Error(SystemError("cannot install the signal handlers"));
    return kExitLinkNotOpened;
  }
  SystemClock clock;
  CommsTrace trace(clock);
  trace.SetPath(options.tracePath.value_or(kDefaultTracePath));
  TraceEcho echoedTrace(trace, clock, console);
  TraceSink& traceSink = options.verbose ? static_cast<TraceSink&>(echoedTrace) : trace;
  TimerSet timers;
  SerialPort serialPort;
  RadioSocket radioSocket;
  CliHost host(console, clock, timers, stops, options.rufFile, options.personality);
  UpdateEngine engine(host, settings, serialPort, radioSocket, traceSink);
  OperationOptions operationOptions;
  operationOptions.ignoreErrors = options.ignoreErrors ? 1 : 0;
  operationOptions.errorSwitchFromArgument = options.ignoreErrors;
  if (options.verifyAfterProgram) host.ExpectVerifyAfterProgram();
  engine.Run(options.mode(), operationOptions);

  const int stopSignal =
      RunEventLoop(engine, host, {stops, console, serialPort, radioSocket, timers});

  if (stopSignal != 0 || host.stopSignal() != 0) {
    const int signalNumber = stopSignal != 0 ? stopSignal : host.stopSignal();
    console.Error("stopped: " + host.StopReason(signalNumber, options.command == CliCommand::Verify) +
                  ". The links and the trace file are closed.");
    return kExitSignalBase + signalNumber;
  }
  if (!host.ended()) {
    console.Error("the operation ended without a result.");
    return kExitCommunicationFailed;
  }
  return host.exitStatus();
}

}  // namespace

int RunUpdate(const CliOptions& options) {
  ConsoleOutput console(STDOUT_FILENO, STDERR_FILENO, ::isatty(STDOUT_FILENO) == 1);
  console.SetQuiet(options.quiet);
  const int status = options.fleet() ? RunFleet(options, console) : Operate(options, console);
  console.Finish();
  // The stop signals have their default action again: one more ends this wait at once.
  console.Drain(status >= kExitSignalBase ? kExitFlushLimitAfterStop : kExitFlushLimit);
  return status;
}

}  // namespace flash
