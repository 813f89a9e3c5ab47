#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_output.h"
#include "cli/radio_host.h"
#include "engine/update_engine.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/shared_radio_socket.h"
#include "link/stop_signals.h"

namespace flash {

// One radio as the loop drives it: its engine and host, the serial port it reads,
// and its UDP side, either a socket of its own (a run of one radio) or a link on
// the sockets the radios of a run share.
struct LoopRadio {
  UpdateEngine* engine;
  RadioHost* host;
  SerialPort* serial;
  RadioSocket* socket = nullptr;
  SharedRadioSocket::Link* sharedLink = nullptr;

  bool active() const { return !host->ended() && engine->operationRunning(); }

  bool watchDevice = true;  // a device that is gone is no longer polled
  std::chrono::steady_clock::time_point lastPlainLine{};
  bool endShown = false;
};

// What a run that takes radios as they come adds to the loop (a station).
struct LoopWatch {
  int fd = -1;  // watched for readability besides the radios (a folder's changes)
  // After each round of events, readable: fd was. It may add radios at the end of
  // the loop's list and remove radios that have ended.
  std::function<void(bool readable)> afterEvents;
  // The loop waits on while this is true, also when no radio runs.
  std::function<bool()> goOn;
  // A stop signal came: true stops the radios that run and ends the loop; false
  // lets them finish.
  std::function<bool(int signalNumber)> stopRadiosOn;
  // On a terminal, the line above the radios' lines.
  std::function<std::string()> header;
};

// The headless tool's one event loop, for one radio or many: it waits on the stop
// signals, each radio's serial input and UDP socket, the timer deadlines and room on
// standard output and standard error, and hands every event to the engine it is
// for, until no radio runs or a stop signal arrives (then every radio still
// running is stopped, its links and trace closed).
class RadioLoop {
 public:
  // shared: the sockets the radios share, if they do. lines: draw a progress line per radio.
  RadioLoop(std::vector<LoopRadio>& radios, SharedRadioSocket* shared, StopSignals& stops,
            ConsoleOutput& console, bool lines, LoopWatch* watch = nullptr);

  // Answers the number of the stop signal that stopped the radios, or 0.
  int Run();
  // Draws what changed: on a terminal at most every 100 ms; otherwise a radio's
  // line at its start and end and at most every few seconds between.
  void ShowProgress(bool now);
  // Something the lines show besides the radios changed (the header's counts).
  void Redraw() { dirty_ = true; }

 private:
  using SteadyTime = std::chrono::steady_clock::time_point;

  bool AnyActive() const;
  void StopAll(int signalNumber);
  std::optional<SteadyTime> NextDeadline() const;

  std::vector<LoopRadio>& radios_;
  SharedRadioSocket* shared_;
  StopSignals& stops_;
  ConsoleOutput& console_;
  bool lines_;
  LoopWatch* watch_;
  bool dirty_ = false;
  SteadyTime lastDraw_{};
};

}  // namespace flash
