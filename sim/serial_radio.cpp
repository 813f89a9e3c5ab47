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
#include <memory>
#include <string>
#include <utility>

#include "sim/answer_schedule.h"
#include "sim/radio_sim_links.h"
#include "sim/request_framer.h"
#include "sim/wake_timing.h"

namespace flash::sim {

namespace {

// Answers nobody reads pile up while no program has the port open; keep the newest.
constexpr std::size_t kMaxUnsentBytes = 64 * 1024;

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
bool MakeLink(const std::string& linkPath, const std::string& target, const std::string& prefix) {
  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::fprintf(stderr, "%s%s exists and is not a symbolic link; not replacing it\n",
                   prefix.c_str(), linkPath.c_str());
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(target.c_str(), linkPath.c_str()) != 0) {
    std::fprintf(stderr, "%scannot make the link %s: %s\n", prefix.c_str(), linkPath.c_str(),
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

class SerialStation final : public RadioStation {
 public:
  SerialStation(const RadioSimOptions& options, SimulatedRadio& radio, std::string logPrefix)
      : options_(options),
        radio_(radio),
        prefix_(std::move(logPrefix)),
        schedule_(radio.config().faults.answerDelay, options.wirePaced) {}
  ~SerialStation() override {
    if (linked_) RemoveLink(options_.linkPath, slavePath_);
    exclusive_.reset();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  SerialStation(const SerialStation&) = delete;
  SerialStation& operator=(const SerialStation&) = delete;

  bool Open() override {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      std::fprintf(stderr, "%scannot create a pseudo-terminal: %s\n", prefix_.c_str(),
                   std::strerror(errno));
      return false;
    }
    slavePath_ = name;
    termios raw {};
    if (tcgetattr(slave_, &raw) == 0) {
      cfmakeraw(&raw);
      cfsetispeed(&raw, B57600);
      cfsetospeed(&raw, B57600);
      tcsetattr(slave_, TCSANOW, &raw);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    // The radio holds the terminal open itself, so that the master never reports a
    // hang-up between the program's openings of the port.
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    exclusive_ = std::make_unique<ExclusiveRelease>(slavePath_, slave_);
    if (options_.linkPath.empty()) return true;
    linked_ = MakeLink(options_.linkPath, slavePath_, prefix_);
    return linked_;
  }

  std::string ReadyLines() const override {
    std::string lines;
    if (linked_) lines = "radio-sim: link " + options_.linkPath + " -> " + slavePath_ + "\n";
    return lines + "radio-sim: serial radio on " + slavePath_ + "\n";
  }

  std::string LinkName() const override { return linked_ ? options_.linkPath : slavePath_; }

  // A pulled cable leaves negative descriptors, which poll passes over.
  void Watch(std::vector<pollfd>& fds) const override {
    fds.push_back({master_, static_cast<short>(POLLIN | (unsent_.empty() ? 0 : POLLOUT)), 0});
    fds.push_back({exclusive_ ? exclusive_->fd() : -1, POLLIN, 0});
  }

  void Service(const pollfd* fds) override {
    if (master_ < 0) return;
    if (fds[1].revents & POLLIN) exclusive_->Update();
    if (fds[0].revents & POLLIN) {
      std::uint8_t buffer[4096];
      for (;;) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        Handle(framer_.Feed(buffer, static_cast<std::size_t>(n), std::chrono::steady_clock::now()));
      }
    }
    Handle(framer_.Expire(std::chrono::steady_clock::now()));

    for (AnswerSchedule::Answer& answer : schedule_.TakeDue(std::chrono::steady_clock::now())) {
      unsent_ += answer.bytes;
    }
    if (unsent_.size() > kMaxUnsentBytes) unsent_.erase(0, unsent_.size() - kMaxUnsentBytes);
    while (!unsent_.empty()) {
      const ssize_t n = write(master_, unsent_.data(), unsent_.size());
      if (n <= 0) break;
      unsent_.erase(0, static_cast<std::size_t>(n));
    }
  }

  std::optional<std::chrono::steady_clock::time_point> NextWake() const override {
    if (master_ < 0) return std::nullopt;
    return EarliestWake(framer_.deadline(), schedule_.next());
  }

 private:
  void Handle(const std::vector<std::string>& requests) {
    const auto now = std::chrono::steady_clock::now();
    for (const std::string& request : requests) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(request.data());
      if (PullsTheCable(SimulatedRadio::Classify(bytes, request.size(), radio_.config().model))) {
        return;
      }
      const auto answers = radio_.HandleRequestAnswers(bytes, request.size());
      schedule_.Add(request.size(), answers, 0, now);
    }
    ReportExchanges(radio_, options_.verbose, prefix_);
  }

  // Closing the master hangs up the terminal: the program's next read sees the
  // adapter gone, as with a real one unplugged.
  bool PullsTheCable(RequestKind kind) {
    if (master_ < 0) return true;
    if (kind != RequestKind::RecordFrame && kind != RequestKind::SRecordFrame &&
        kind != RequestKind::HexTextLine) {
      return false;
    }
    if (++dataLines_ != options_.pullAtLine) return false;
    if (linked_) RemoveLink(options_.linkPath, slavePath_);
    linked_ = false;
    exclusive_.reset();
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    unsent_.clear();
    std::fprintf(stderr, "%scable pulled at data line %d\n", prefix_.c_str(), dataLines_);
    return true;
  }

  const RadioSimOptions options_;
  SimulatedRadio& radio_;
  const std::string prefix_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::unique_ptr<ExclusiveRelease> exclusive_;
  bool linked_ = false;
  RequestFramer framer_;
  AnswerSchedule schedule_;
  std::string unsent_;
  int dataLines_ = 0;
};

}  // namespace

std::unique_ptr<RadioStation> MakeSerialStation(const RadioSimOptions& options,
                                                SimulatedRadio& radio, std::string logPrefix) {
  return std::make_unique<SerialStation>(options, radio, std::move(logPrefix));
}

}  // namespace flash::sim
