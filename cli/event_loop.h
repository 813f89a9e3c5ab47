#pragma once


#include "cli/cli_host.h"
#include "cli/console_output.h"
#include "cli/serial_event_queue.h"
#include "cli/timer_set.h"
#include "link/radio_socket.h"
#include "link/serial_watcher.h"
#include "link/stop_signals.h"
#include "engine/update_engine.h"

namespace flash {

// What the headless tool's loop waits on: stop signals, the serial device's
// input (its port leaves the input to the loop) and the notifications it gives,
// the UDP socket (while it has one), the timer deadlines, and room on standard
// output and standard error while console output waits for it.
struct EventSources {
  StopSignals& stops;
  ConsoleOutput& console;
  SerialEventQueue& serialEvents;
  SerialWatcher& serialPort;
  RadioSocket& radioSocket;
  TimerSet& timers;
};

// Hands every event to the engine until the operation is over or a stop signal
// arrives (then the operation is stopped, closing links and trace). Answers the
// stop signal's number, or 0.
int RunEventLoop(UpdateEngine& engine, const CliHost& host, const EventSources& sources);

}  // namespace flash
