#include "bench/operation_run.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "bench/timed_host.h"
#include "cli/cli_host.h"
#include "cli/console_output.h"
#include "cli/serial_event_queue.h"
#include "cli/stop_signals.h"
#include "cli/timer_set.h"
#include "link/comms_trace.h"
#include "link/link_settings.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/system_clock.h"
#include "operation/update_engine.h"

namespace flash::bench {
namespace {

int MillisecondsUntil(const TimerSet& timers) {
  const auto next = timers.NextDeadline();
  if (!next) return -1;
  const auto left = *next - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

OperationRunResult RunProgramOperation(const OperationRunSetup& setup) {
  OperationRunResult result;
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ConsoleOutput console(quiet, false);

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
  TimerSet timers;
  SerialEventQueue serialEvents;
  TimedNotifyTarget timedEvents(serialEvents);
  SerialPort serialPort;
  serialPort.SetNotifyTarget(&timedEvents);
  TimedSerialLink timedSerial(serialPort);
  RadioSocket radioSocket;
  TimedUdpLink timedUdp(radioSocket);
  CliHost host(console, clock, timers, stops, setup.rufFile, std::nullopt);
  TimedHost timedHost(host);
  UpdateEngine engine(timedHost, settings, timedSerial, timedUdp, trace);
  host.AttachState(engine.state());
  engine.state().commsTraceEnabled = 1;
  engine.state().ignoreErrors = 0;

  engine.RunProgramCommand();
  // The headless tool's loop (cli/update_run.cpp builds its links itself, so it
  // cannot be handed the timed ones): the same steps in the same order.
  while (!host.ended() && engine.operationRunning()) {
    pollfd watched[3] = {{stops.fd(), POLLIN, 0}, {serialEvents.fd(), POLLIN, 0}, {-1, POLLIN, 0}};
    const int socketFd = radioSocket.fd();
    nfds_t count = 2;
    if (socketFd >= 0) {
      watched[2].fd = socketFd;
      count = 3;
    }
    if (::poll(watched, count, MillisecondsUntil(timers)) < 0) {
      if (errno == EINTR) continue;
      engine.StopOperation();
      break;
    }
    if (watched[0].revents & POLLIN) {
      stops.Take();
      engine.StopOperation();
      break;
    }
    if (watched[1].revents & POLLIN) {
      for (const SerialNotification& n : serialEvents.Drain()) {
        if (host.ended()) break;
        engine.OnSerialEvent(n.firstParam & 0xFFFFu, n.firstParam >> 16);
      }
    }
    if (count == 3 && watched[2].revents != 0 && !host.ended() && radioSocket.fd() == socketFd) {
      engine.OnUdpReadable();
    }
    for (int id : timers.TakeDue(std::chrono::steady_clock::now())) {
      if (host.ended()) break;
      if (timers.IsRunning(id)) engine.OnTimer(id);
    }
  }
  serialPort.Close();
  if (quiet >= 0) ::close(quiet);

  result.ended = host.ended();
  result.outcome = host.outcome();
  if (settings.serialActive) {
    result.writes = timedSerial.writes();
    result.arrivals = timedEvents.arrivals();
  } else {
    result.writes = timedUdp.writes();
    result.arrivals = timedUdp.arrivals();
  }
  result.traceStamps = traceClock.stamps();
  result.statusStamps = timedHost.statusStamps();
  return result;
}

}  // namespace flash::bench

