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

}  // namespace

int RunEventLoop(UpdateEngine& engine, const CliHost& host, const EventSources& sources) {
  // The serial port leaves its input to this loop (no watcher thread): the
  // loop polls the device and moves the input itself, so an answer waits for
  // one thread wake-up instead of two in a row, which cost tens of microseconds
  // a line on a busy or virtual machine. A device that hangs up or reports an
  // error is no longer polled, so that the loop never spins on it; the
  // response timer then ends the operation as for a silent radio.
  bool watchDevice = true;
  while (!host.ended()) {
    if (host.stopSignal() != 0) {
      engine.StopOperation();
      return host.stopSignal();
    }
    if (!engine.operationRunning()) break;

    // Entries of a descriptor of -1 are skipped by poll.
    const int socketFd = sources.radioSocket.fd();
    pollfd watched[6] = {{sources.stops.fd(), POLLIN, 0},
                         {sources.serialEvents.fd(), POLLIN, 0},
                         {socketFd, POLLIN, 0},
                         {watchDevice ? sources.serialPort.InputWakeFd() : -1, POLLIN, 0},
                         {sources.console.outWaitingFd(), POLLOUT, 0},
                         {sources.console.errWaitingFd(), POLLOUT, 0}};
    if (::poll(watched, 6, MillisecondsUntil(sources.timers)) < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      sources.console.Error(std::string("poll: ") + std::strerror(error));
      engine.StopOperation();
      break;
    }
    if (watched[0].revents & POLLIN) {
      const int signalNumber = sources.stops.Take();
      engine.StopOperation();
      return signalNumber;
    }
    // A reader that takes output again gets what waited at once, not with the next line.
    if (watched[4].revents != 0 || watched[5].revents != 0) sources.console.Flush();
    if (watched[3].revents != 0) {
      const bool input = (watched[3].revents & POLLIN) != 0 &&
                         (watched[3].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
      if (input && sources.serialPort.ServiceInput()) {
        watched[1].revents = POLLIN;  // the queue holds whatever it posted
      } else {
        watchDevice = false;
      }
    }
    if (watched[1].revents & POLLIN) {
      for (const SerialNotification& n : sources.serialEvents.Drain()) {
        if (host.ended()) break;
        engine.OnSerialEvent(n.firstParam & 0xFFFFu, n.firstParam >> 16);
      }
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
