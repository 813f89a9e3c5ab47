#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/program_texts.h"
#include "app/socket_layer.h"
#include "link/system_clock.h"
#include "app/update_app.h"
#include "link/comms_trace.h"
#include "engine/link_settings.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"

namespace flash {

// The objects that exist for the whole run, before start-up and after the main
// window is gone. Members are built in the order written here and destroyed in
// the reverse order, so each one can rely on those above it.
class ProcessObjects {
 public:
  // programArgs: the command line less the options Qt took for itself.
  explicit ProcessObjects(std::vector<std::string> programArgs);
  ProcessObjects(const ProcessObjects&) = delete;
  ProcessObjects& operator=(const ProcessObjects&) = delete;

  // The trace stamps its lines with this clock, so it comes first.
  SystemClock clock;
  CommsTrace commsTrace{clock};
  std::string versionText = kVersionText;
  // The operation's start and end times belong to OperationState, which the engine owns.
  std::string outputText;
  std::string statusText;
  std::int8_t statusPane = 0;
  SerialPort serialPort;
  RadioSocket radioSocket;
  LinkSettings linkSettings;
  // The UDP link's connectedAddress is part of the engine's link state.
  UpdateApp updateApp;
};

}  // namespace flash
