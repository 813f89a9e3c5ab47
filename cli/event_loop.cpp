#include "cli/event_loop.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

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

int RunEventLoop(UpdateEngine& engine, const CliHost& host, const EventSources& sources,
                 const std::function<void()>& afterAnswer) {
  const auto answered = [&] {
    if (afterAnswer) afterAnswer();
  };
  while (!host.ended()) {
    if (host.stopSignal() != 0) {
      engine.StopOperation();
      return host.stopSignal();
    }
    if (!engine.operationRunning()) break;

    pollfd watched[3] = {{sources.stops.fd(), POLLIN, 0},
                         {sources.serialEvents.fd(), POLLIN, 0},
                         {-1, POLLIN, 0}};
    const int socketFd = sources.radioSocket.fd();
    nfds_t count = 2;
    if (socketFd >= 0) {
      watched[2].fd = socketFd;
      count = 3;
    }
    if (::poll(watched, count, MillisecondsUntil(sources.timers)) < 0) {
      if (errno == EINTR) continue;
      std::perror("flash-update-cli: poll");
      engine.StopOperation();
      break;
    }
    if (watched[0].revents & POLLIN) {
      const int signalNumber = sources.stops.Take();
      engine.StopOperation();
      return signalNumber;
    }
    if (watched[1].revents & POLLIN) {
      for (const SerialNotification& n : sources.serialEvents.Drain()) {
        if (host.ended()) break;
        engine.OnSerialEvent(n.firstParam & 0xFFFFu, n.firstParam >> 16);
        answered();
      }
    }
    if (count == 3 && watched[2].revents != 0 && !host.ended() &&
        sources.radioSocket.fd() == socketFd) {
      engine.OnUdpReadable();
      answered();
    }
    for (int id : sources.timers.TakeDue(std::chrono::steady_clock::now())) {
      if (host.ended()) break;
      if (sources.timers.IsRunning(id)) engine.OnTimer(id);
    }
  }
  return 0;
}

}  // namespace flash
