#pragma once

#include <memory>
#include <string>
#include <utility>

#include "cli/console_output.h"
#include "cli/radio_host.h"
#include "cli/trace_echo.h"
#include "engine/link_settings.h"
#include "engine/update_engine.h"
#include "link/comms_trace.h"
#include "link/serial_port.h"
#include "link/stop_signals.h"

namespace flash {

// One radio of the run: its links, its trace, its host and its engine.
struct Radio {
  // echoTrace: --verbose; the trace's lines are shown as they are written.
  Radio(LinkSettings linkSettings, std::unique_ptr<UdpLink> udpLink, const std::string& tracePath,
        bool echoTrace, ConsoleOutput& console, Clock& clock, StopSignals& stops,
        RadioHostSetup setup)
      : settings(std::move(linkSettings)),
        udp(std::move(udpLink)),
        trace(clock),
        echo(echoTrace ? std::make_unique<TraceEcho>(trace, clock, console) : nullptr),
        host(console, clock, &stops, std::move(setup)),
        engine(host, settings, serial, *udp, echo ? static_cast<TraceSink&>(*echo) : trace) {
    trace.SetPath(tracePath);
  }

  LinkSettings settings;
  SerialPort serial;
  std::unique_ptr<UdpLink> udp;
  CommsTrace trace;
  std::unique_ptr<TraceEcho> echo;
  RadioHost host;
  UpdateEngine engine;
};

}  // namespace flash
