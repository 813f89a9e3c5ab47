#pragma once

#include <poll.h>

#include <chrono>

#include "link/serial_port.h"

namespace flash {

// Waits for the port's input and moves it, as a front end's event loop does,
// until it brings events for the engine or the device is gone; nothing when the
// time runs out first.
inline SerialPort::Input NextEvents(SerialPort& port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd input{port.InputFd(), POLLIN, 0};
    if (::poll(&input, 1, static_cast<int>(left.count())) <= 0) continue;
    const SerialPort::Input got = port.ServiceInput();
    if (got.events != 0 || got.deviceGone) return got;
  }
}

}  // namespace flash
