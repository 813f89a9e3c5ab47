#include "link/stop_signals.h"

#include <fcntl.h>
#include <signal.h>

#include <cerrno>
#include <unistd.h>

namespace flash {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Written by the handler, so plain file-scope descriptors.
int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int signalNumber) {
  // The interrupted code may be about to read errno: the handler's write must not change it.
  const int savedErrno = errno;
  const unsigned char byte = static_cast<unsigned char>(signalNumber);
  [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
  errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals(StopSignalOptions options) {
  if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  if (options.restartInterruptedCalls) action.sa_flags = SA_RESTART;
  for (int s : kStopSignals) {
    if (sigaction(s, &action, nullptr) != 0) return;
  }
  if (options.ignoreBrokenPipe) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
  }
  ok_ = true;
}

StopSignals::~StopSignals() {
  struct sigaction original {};
  original.sa_handler = SIG_DFL;
  sigemptyset(&original.sa_mask);
  for (int s : kStopSignals) sigaction(s, &original, nullptr);
  for (int& fd : stopPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

int StopSignals::fd() const { return stopPipe[0]; }

int StopSignals::Take() {
  unsigned char byte = 0;
  if (::read(stopPipe[0], &byte, 1) != 1) return 0;
  return byte;
}

}  // namespace flash
