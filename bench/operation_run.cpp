#include "bench/operation_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "bench/timed_host.h"
#include "cli/console_output.h"
#include "cli/radio_host.h"
#include "cli/radio_loop.h"
#include "link/comms_trace.h"
#include "engine/link_settings.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/stop_signals.h"
#include "link/system_clock.h"
#include "engine/update_engine.h"

namespace flash::bench {

OperationRunResult RunProgramOperation(const OperationRunSetup& setup) {
  OperationRunResult result;
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ConsoleOutput console(quiet, quiet, false);

  LinkSettings settings;
  if (!setup.serialDevice.empty()) {
    settings.serialActive = true;
    settings.ethernetActive = false;
    settings.comPort = setup.serialDevice;
  } else {
    settings.serialActive = false;
    settings.ethernetActive = true;
    settings.radioAddress = setup.udpAddress;
    settings.radioPort = setup.udpPort;
  }

  StopSignals stops;
  SystemClock clock;
  TimedClock traceClock(clock);
  CommsTrace trace(traceClock);
  trace.SetPath(setup.tracePath);
  SerialPort serialPort;
  TimedSerialLink timedSerial(serialPort);
  RadioSocket radioSocket;
  TimedUdpLink timedUdp(radioSocket);
  RadioHostSetup hostSetup;
  hostSetup.rufFile = setup.rufFile;
  RadioHost host(console, clock, &stops, hostSetup);
  TimedHost timedHost(host);
  UpdateEngine engine(timedHost, settings, timedSerial, timedUdp, trace);

  engine.Run(OperationMode::Program);
  // The headless tool's own loop, with the timed links in place of the plain ones.
  std::vector<LoopRadio> driven = {{&engine, &host, &serialPort, &radioSocket, nullptr}};
  RadioLoop(driven, nullptr, stops, console, false).Run();
  serialPort.Close();
  if (quiet >= 0) ::close(quiet);

  result.ended = host.ended();
  result.outcome = host.outcome().value_or(OperationOutcome::Stopped);
  if (settings.serialActive) {
    result.writes = timedSerial.writes();
    result.arrivals = timedSerial.arrivals();
  } else {
    result.writes = timedUdp.writes();
    result.arrivals = timedUdp.arrivals();
  }
  result.traceStamps = traceClock.stamps();
  result.statusStamps = timedHost.statusStamps();
  return result;
}

}  // namespace flash::bench

