#include "cli/radio_loop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace flash {
namespace {

constexpr auto kLinesRedrawPeriod = std::chrono::milliseconds{100};
// Plain progress: a line per radio at its start and end, and at most this often between.
constexpr auto kPlainLinesPeriod = std::chrono::seconds{5};
// The descriptors polled before the radios': signals, standard output and error, the watch.
constexpr std::size_t kFirstRadio = 4;

int MillisecondsUntil(std::optional<std::chrono::steady_clock::time_point> next) {
  if (!next) return -1;
  const auto left = *next - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  // Rounded up, so that the loop never wakes just before a deadline and spins.
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

RadioLoop::RadioLoop(std::vector<LoopRadio>& radios, SharedRadioSocket* shared,
                     StopSignals& stops, ConsoleOutput& console, bool lines, LoopWatch* watch)
    : radios_(radios),
      shared_(shared),
      stops_(stops),
      console_(console),
      lines_(lines),
      watch_(watch) {}

int RadioLoop::Run() {
  ShowProgress(true);
  while (AnyActive() || (watch_ && watch_->goOn())) {
    // A signal that came while the personality question waited.
    for (const LoopRadio& radio : radios_) {
      if (const int signalNumber = radio.host->promptStopSignal(); signalNumber != 0) {
        StopAll(signalNumber);
        return signalNumber;
      }
    }
    // Entries of a descriptor of -1 are skipped by poll.
    std::vector<pollfd> watched = {{stops_.fd(), POLLIN, 0},
                                   {console_.outWaitingFd(), POLLOUT, 0},
                                   {console_.errWaitingFd(), POLLOUT, 0},
                                   {watch_ ? watch_->fd : -1, POLLIN, 0}};
    for (const LoopRadio& radio : radios_) {
      watched.push_back({radio.watchDevice ? radio.serial->InputFd() : -1, POLLIN, 0});
      watched.push_back({radio.socket ? radio.socket->fd() : -1, POLLIN, 0});
    }
    const std::vector<int> sharedFds = shared_ ? shared_->fds() : std::vector<int>();
    for (const int fd : sharedFds) watched.push_back({fd, POLLIN, 0});
    if (::poll(watched.data(), watched.size(), MillisecondsUntil(NextDeadline())) < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      console_.Error(std::string("poll: ") + std::strerror(error));
      StopAll(0);
      break;
    }
    if (watched[0].revents & POLLIN) {
      const int signalNumber = stops_.Take();
      if (!watch_ || watch_->stopRadiosOn(signalNumber)) {
        StopAll(signalNumber);
        return signalNumber;
      }
    }
    // A reader that takes output again gets what waited at once, not with the next line.
    if (watched[1].revents != 0 || watched[2].revents != 0) console_.Flush();
    // The loop moves the serial input itself: an answer costs this thread's one
    // wake-up. A device that is gone is no longer polled, so that the loop never
    // spins on it.
    for (std::size_t i = 0; i < radios_.size(); ++i) {
      LoopRadio& radio = radios_[i];
      const pollfd& serial = watched[kFirstRadio + 2 * i];
      if (serial.revents != 0 && serial.fd == radio.serial->InputFd()) {
        const SerialPort::Input input = radio.serial->ServiceInput();
        if (input.events != 0 && radio.active()) {
          radio.engine->OnSerialEvent(input.events, input.errors);
        }
        // A pulled cable ends the operation at once, not after the radio's full silence.
        if (input.deviceGone) {
          radio.watchDevice = false;
          if (radio.active()) radio.engine->OnSerialPortGone();
        }
      }
      // The socket may have been closed, or made anew, meanwhile.
      const pollfd& socket = watched[kFirstRadio + 1 + 2 * i];
      if (socket.fd >= 0 && socket.revents != 0 && radio.active() &&
          radio.socket->fd() == socket.fd) {
        radio.engine->OnUdpReadable();
      }
    }
    for (std::size_t i = 0; i < sharedFds.size(); ++i) {
      if (watched[kFirstRadio + 2 * radios_.size() + i].revents != 0) shared_->ServiceInput(sharedFds[i]);
    }
    for (LoopRadio& radio : radios_) {
      while (radio.sharedLink && radio.sharedLink->pending() && radio.active()) {
        radio.engine->OnUdpReadable();
      }
      for (const int id : radio.host->timers().TakeDue(std::chrono::steady_clock::now())) {
        if (!radio.active()) break;
        if (radio.host->timers().IsRunning(id)) radio.engine->OnTimer(id);
      }
    }
    if (watch_) watch_->afterEvents(watched[3].revents != 0);
    ShowProgress(false);
  }
  return 0;
}

bool RadioLoop::AnyActive() const {
  return std::any_of(radios_.begin(), radios_.end(), [](const LoopRadio& r) { return r.active(); });
}

void RadioLoop::StopAll(int signalNumber) {
  for (LoopRadio& radio : radios_) {
    if (!radio.active()) continue;
    radio.host->NoteStopSignal(signalNumber);
    // The trace's last line says why it ends there: "[[operation stopped by signal 2]]".
    radio.engine->StopOperation(signalNumber != 0 ? "stopped by signal " + std::to_string(signalNumber)
                                                 : std::string());
  }
}

std::optional<RadioLoop::SteadyTime> RadioLoop::NextDeadline() const {
  std::optional<SteadyTime> next;
  for (const LoopRadio& radio : radios_) {
    const auto due = radio.host->timers().NextDeadline();
    if (due && (!next || *due < *next)) next = due;
  }
  // A terminal's last change is drawn when its pause is over.
  if (lines_ && dirty_ && console_.terminal()) {
    const SteadyTime draw = lastDraw_ + kLinesRedrawPeriod;
    if (!next || draw < *next) next = draw;
  }
  return next;
}

void RadioLoop::ShowProgress(bool now) {
  if (!lines_ || console_.quiet()) return;
  const SteadyTime time = std::chrono::steady_clock::now();
  bool changed = false;
  for (LoopRadio& radio : radios_) changed = radio.host->TakeChanged() || changed;
  dirty_ = dirty_ || changed;
  if (!dirty_) return;
  std::vector<FleetRadio> shown;
  for (const LoopRadio& radio : radios_) shown.push_back(radio.host->radio());
  if (console_.terminal()) {
    if (!now && time - lastDraw_ < kLinesRedrawPeriod) return;
    std::vector<std::string> lines = ProgressLines(shown);
    if (watch_ && watch_->header) lines.insert(lines.begin(), watch_->header());
    console_.ProgressLines(lines);
    lastDraw_ = time;
    dirty_ = false;
    return;
  }
  dirty_ = false;
  // The lines of all radios, so that their columns line up from one print to the next.
  const std::vector<std::string> lines = ProgressLines(shown);
  std::vector<std::string> printed;
  for (std::size_t i = 0; i < radios_.size(); ++i) {
    LoopRadio& radio = radios_[i];
    const bool endSeen = radio.host->ended() && !radio.endShown;
    if (endSeen || (!radio.host->ended() &&
                    (now || time - radio.lastPlainLine >= kPlainLinesPeriod))) {
      printed.push_back(lines[i]);
      radio.lastPlainLine = time;
      radio.endShown = radio.host->ended();
    }
  }
  if (!printed.empty()) console_.ProgressLines(printed);
}

}  // namespace flash
