#include "link/serial_input_pump.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "engine/radio_links.h"

namespace flash {
namespace {

struct Counters {
  std::uint32_t frames, parity, overruns, breaks;
};

bool ReadCounters(int fd, Counters& counters) {
  serial_icounter_struct kernel {};
  if (::ioctl(fd, TIOCGICOUNT, &kernel) != 0) return false;
  counters = {static_cast<std::uint32_t>(kernel.frame), static_cast<std::uint32_t>(kernel.parity),
              static_cast<std::uint32_t>(kernel.overrun + kernel.buf_overrun),
              static_cast<std::uint32_t>(kernel.brk)};
  return true;
}

// A wake-up with nothing to read: a device that reports a hang-up or an error
// would wake its watcher for ever.
bool HungUp(int fd) {
  pollfd device{fd, POLLIN, 0};
  return ::poll(&device, 1, 0) > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

void SerialInputPump::Start(int fd) {
  Counters counters {};
  countersKept_ = ReadCounters(fd, counters);
  framesSeen_ = counters.frames;
  paritySeen_ = counters.parity;
  overrunsSeen_ = counters.overruns;
  breaksSeen_ = counters.breaks;
}

SerialInputPump::Result SerialInputPump::Pump(int fd, SerialInputQueue& queue) {
  Result result;
  bool received = false;
  std::uint8_t chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      result.deviceGone = !received && HungUp(fd);
      break;
    }
    if (got <= 0) {  // end of file or EIO: the adapter was unplugged, the pty's other side closed
      result.deviceGone = !received;
      break;
    }
    received = true;
    const SerialInput input = queue.Push(chunk, static_cast<std::size_t>(got));
    result.input.events |= input.events;
    result.input.errors |= input.errors;
    if (static_cast<std::size_t>(got) < sizeof chunk) break;
  }
  NoteCounterChanges(fd, result.input);
  return result;
}

void SerialInputPump::NoteCounterChanges(int fd, SerialInput& input) {
  Counters now {};
  if (!countersKept_ || !ReadCounters(fd, now)) return;
  if (now.frames != framesSeen_) input.errors |= kLineErrorFraming;
  if (now.parity != paritySeen_) input.errors |= kLineErrorParity;
  if (now.overruns != overrunsSeen_) input.errors |= kLineErrorOverrun;
  if ((input.errors & (kLineErrorFraming | kLineErrorParity | kLineErrorOverrun)) != 0) {
    input.events |= kEventLineError;
  }
  if (now.breaks != breaksSeen_) {
    input.errors |= kLineErrorBreak;
    input.events |= kEventBreak;
  }
  framesSeen_ = now.frames;
  paritySeen_ = now.parity;
  overrunsSeen_ = now.overruns;
  breaksSeen_ = now.breaks;
}

}  // namespace flash
