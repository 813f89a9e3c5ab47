#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/answer_schedule.h"
#include "sim/radio_sim_links.h"
#include "sim/request_framer.h"
#include "sim/wake_timing.h"

namespace flash::sim {

namespace {

// Answers nobody reads pile up while no program has the port open; keep the newest.
constexpr std::size_t kMaxUnsentBytes = 64 * 1024;

std::optional<std::chrono::steady_clock::time_point> Earliest(
    std::optional<std::chrono::steady_clock::time_point> a,
    std::optional<std::chrono::steady_clock::time_point> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

// A program that opens the terminal with TIOCEXCL leaves it exclusive after it
// closes, because a pseudo-terminal lives on while its master is open: nobody but
// root could open it again. The radio watches the openings and closings of its
// terminal and lifts the exclusive mode once no other holder is left.
class ExclusiveRelease {
 public:
  ExclusiveRelease(const std::string& path, int ownFd) : ownFd_(ownFd) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ >= 0 && inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~ExclusiveRelease() {
    if (fd_ >= 0) close(fd_);
  }
  ExclusiveRelease(const ExclusiveRelease&) = delete;
  ExclusiveRelease& operator=(const ExclusiveRelease&) = delete;

  int fd() const { return fd_; }

  void Update() {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) ++othersOpen_;
        if ((event->mask & IN_CLOSE) && othersOpen_ > 0) --othersOpen_;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    if (othersOpen_ == 0) ioctl(ownFd_, TIOCNXCL);
  }

 private:
  int fd_ = -1;
  int ownFd_;
  int othersOpen_ = 0;  // the radio's own opening came before the watch
};

// Makes linkPath a symbolic link to target; an old symbolic link there is replaced,
// anything else is left alone.
bool MakeLink(const std::string& linkPath, const std::string& target) {
  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::fprintf(stderr, "radio-sim: %s exists and is not a symbolic link; not replacing it\n",
                   linkPath.c_str());
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(target.c_str(), linkPath.c_str()) != 0) {
    std::fprintf(stderr, "radio-sim: cannot make the link %s: %s\n", linkPath.c_str(),
                 std::strerror(errno));
    return false;
  }
  return true;
}

// Removes the link only while it still points at this radio's terminal.
void RemoveLink(const std::string& linkPath, const std::string& target) {
  char buffer[512];
  const ssize_t n = readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
  if (n < 0) return;
  buffer[n] = '\0';
  if (target == buffer) unlink(linkPath.c_str());
}

}  // namespace

int RunSerialRadio(const RadioSimOptions& options, SimulatedRadio& radio, int stopFd) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::fprintf(stderr, "radio-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }
  const std::string slavePath = name;
  termios raw {};
  if (tcgetattr(slave, &raw) == 0) {
    cfmakeraw(&raw);
    cfsetispeed(&raw, B57600);
    cfsetospeed(&raw, B57600);
    tcsetattr(slave, TCSANOW, &raw);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  // The radio holds the terminal open itself, so that the master never reports a
  // hang-up between the program's openings of the port.
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  ExclusiveRelease exclusive(slavePath, slave);

  if (!options.linkPath.empty() && !MakeLink(options.linkPath, slavePath)) {
    close(master);
    close(slave);
    return 1;
  }
  if (!options.linkPath.empty()) {
    std::printf("radio-sim: link %s -> %s\n", options.linkPath.c_str(), slavePath.c_str());
  }
  std::printf("radio-sim: serial radio on %s\n", slavePath.c_str());
  std::fflush(stdout);

  RequestFramer framer;
  AnswerSchedule schedule(radio.config().faults.answerDelay, options.wirePaced);
  std::string unsent;
  int status = 0;

  auto handle = [&](const std::vector<std::string>& requests) {
    const auto now = std::chrono::steady_clock::now();
    for (const std::string& request : requests) {
      const auto answers = radio.HandleRequestAnswers(
          reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
      schedule.Add(request.size(), answers, 0, now);
    }
    ReportExchanges(radio, options.verbose);
  };

  for (;;) {
    pollfd fds[3] = {{stopFd, POLLIN, 0},
                     {master, static_cast<short>(POLLIN | (unsent.empty() ? 0 : POLLOUT)), 0},
                     {exclusive.fd(), POLLIN, 0}};
    const timespec timeout =
        PollTimeoutUntil(Earliest(framer.deadline(), schedule.next()), std::chrono::steady_clock::now());
    if (ppoll(fds, 3, &timeout, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "radio-sim: poll failed: %s\n", std::strerror(errno));
      status = 1;
      break;
    }
    if (fds[0].revents != 0) break;

    if (fds[2].revents & POLLIN) exclusive.Update();
    if (fds[1].revents & POLLIN) {
      std::uint8_t buffer[4096];
      for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        handle(framer.Feed(buffer, static_cast<std::size_t>(n), std::chrono::steady_clock::now()));
      }
    }
    handle(framer.Expire(std::chrono::steady_clock::now()));

    for (AnswerSchedule::Answer& answer : schedule.TakeDue(std::chrono::steady_clock::now())) {
      unsent += answer.bytes;
    }
    if (unsent.size() > kMaxUnsentBytes) unsent.erase(0, unsent.size() - kMaxUnsentBytes);
    while (!unsent.empty()) {
      const ssize_t n = write(master, unsent.data(), unsent.size());
      if (n <= 0) break;
      unsent.erase(0, static_cast<std::size_t>(n));
    }
  }

  if (!options.linkPath.empty()) RemoveLink(options.linkPath, slavePath);
  close(master);
  close(slave);
  return status;
}

}  // namespace flash::sim
