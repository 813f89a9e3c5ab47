#pragma once

#include "cli/cli_host.h"
#include "cli/console_output.h"
#include "cli/timer_set.h"
#include "engine/update_engine.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/stop_signals.h"

namespace flash {

// What the headless tool's loop waits on: stop signals, the serial port's input,
// the UDP socket (while it has one), the timer deadlines, and room on standard
// output and standard error while console output waits for it.
struct EventSources {
  StopSignals& stops;
  ConsoleOutput& console;
  SerialPort& serialPort;
  RadioSocket& radioSocket;
  TimerSet& timers;
};

// Hands every event to the engine until the operation is over or a stop signal
// arrives (then the operation is stopped, closing links and trace). Answers the
// stop signal's number, or 0.
int RunEventLoop(UpdateEngine& engine, const CliHost& host, const EventSources& sources);

}  // namespace flash
