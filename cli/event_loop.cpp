#include "cli/event_loop.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace flash {
namespace {

int MillisecondsUntil(const TimerSet& timers) {
  const auto next = timers.NextDeadline();
  if (!next) return -1;
  const auto left = *next - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  // Rounded up, so that the loop never wakes just before a deadline and spins.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// The trace's last line says why it ends there: "[[operation stopped by signal 2]]".
std::string StopNote(int signalNumber) { return "stopped by signal " + std::to_string(signalNumber); }

}  // namespace

int RunEventLoop(UpdateEngine& engine, const CliHost& host, const EventSources& sources) {
  // The loop moves the serial input itself: an answer costs this thread's one
  // wake-up. A device that is gone is no longer polled, so that the loop never
  // spins on it; the response timer then ends the operation as for a silent radio.
  bool watchDevice = true;
  while (!host.ended()) {
    if (host.stopSignal() != 0) {
      engine.StopOperation(StopNote(host.stopSignal()));
      return host.stopSignal();
    }
    if (!engine.operationRunning()) break;

    // Entries of a descriptor of -1 are skipped by poll.
    const int socketFd = sources.radioSocket.fd();
    pollfd watched[5] = {{sources.stops.fd(), POLLIN, 0},
                         {watchDevice ? sources.serialPort.InputFd() : -1, POLLIN, 0},
                         {socketFd, POLLIN, 0},
                         {sources.console.outWaitingFd(), POLLOUT, 0},
                         {sources.console.errWaitingFd(), POLLOUT, 0}};
    if (::poll(watched, 5, MillisecondsUntil(sources.timers)) < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      sources.console.Error(std::string("poll: ") + std::strerror(error));
      engine.StopOperation();
      break;
    }
    if (watched[0].revents & POLLIN) {
      const int signalNumber = sources.stops.Take();
      engine.StopOperation(StopNote(signalNumber));
      return signalNumber;
    }
    // A reader that takes output again gets what waited at once, not with the next line.
    if (watched[3].revents != 0 || watched[4].revents != 0) sources.console.Flush();
    if (watched[1].revents != 0) {
      const SerialPort::Input input = sources.serialPort.ServiceInput();
      if (input.deviceGone) watchDevice = false;
      if (input.events != 0 && !host.ended()) engine.OnSerialEvent(input.events, input.errors);
    }
    if (socketFd >= 0 && watched[2].revents != 0 && !host.ended() &&
        sources.radioSocket.fd() == socketFd) {
      engine.OnUdpReadable();
    }
    for (int id : sources.timers.TakeDue(std::chrono::steady_clock::now())) {
      if (host.ended()) break;
      if (sources.timers.IsRunning(id)) engine.OnTimer(id);
    }
  }
  return 0;
}

}  // namespace flash
