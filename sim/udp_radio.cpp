#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "sim/answer_schedule.h"
#include "sim/radio_sim_links.h"
#include "sim/wake_timing.h"

namespace flash::sim {

namespace {

// A datagram carries two passcode bytes before the request.
constexpr std::size_t kPasscodeBytes = 2;
constexpr std::size_t kMaxDatagram = 4096;

std::uint64_t DestinationKey(const sockaddr_in& address) {
  return static_cast<std::uint64_t>(ntohl(address.sin_addr.s_addr)) << 16 | ntohs(address.sin_port);
}

sockaddr_in AddressOfKey(std::uint64_t key) {
  sockaddr_in address {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(static_cast<std::uint32_t>(key >> 16));
  address.sin_port = htons(static_cast<std::uint16_t>(key & 0xFFFF));
  return address;
}

std::string Describe(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

class UdpStation final : public RadioStation {
 public:
  UdpStation(const RadioSimOptions& options, SimulatedRadio& radio, std::string logPrefix)
      : options_(options),
        radio_(radio),
        prefix_(std::move(logPrefix)),
        schedule_(radio.config().faults.answerDelay, options.wirePaced) {}
  ~UdpStation() override {
    if (fd_ >= 0) close(fd_);
  }
  UdpStation(const UdpStation&) = delete;
  UdpStation& operator=(const UdpStation&) = delete;

  bool Open() override {
    local_.sin_family = AF_INET;
    local_.sin_port = htons(static_cast<std::uint16_t>(options_.udpPort));
    if (inet_pton(AF_INET, options_.udpAddress.c_str(), &local_.sin_addr) != 1) {
      std::fprintf(stderr, "%s'%s' is not a dotted IPv4 address\n", prefix_.c_str(),
                   options_.udpAddress.c_str());
      return false;
    }
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
      std::fprintf(stderr, "%scannot create a UDP socket: %s\n", prefix_.c_str(),
                   std::strerror(errno));
      return false;
    }
    // Flash Update binds the same port number on all addresses; with reuse allowed on
    // both sockets the two can exist side by side, each on its own address.
    const int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&local_), sizeof local_) != 0) {
      std::fprintf(stderr, "%scannot bind to %s:%d: %s\n", prefix_.c_str(),
                   options_.udpAddress.c_str(), options_.udpPort, std::strerror(errno));
      return false;
    }
    socklen_t localSize = sizeof local_;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local_), &localSize);
    return true;
  }

  std::string ReadyLines() const override { return "radio-sim: UDP radio on " + LinkName() + "\n"; }
  std::string LinkName() const override { return Describe(local_); }
  int udpPort() const override { return ntohs(local_.sin_port); }

  void Watch(std::vector<pollfd>& fds) const override { fds.push_back({fd_, POLLIN, 0}); }

  void Service(const pollfd* fds) override {
    if (fds[0].revents & POLLIN) Receive();
    for (const AnswerSchedule::Answer& answer :
         schedule_.TakeDue(std::chrono::steady_clock::now())) {
      const sockaddr_in to = AddressOfKey(answer.destination);
      if (sendto(fd_, answer.bytes.data(), answer.bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0 &&
          options_.verbose) {
        std::fprintf(stderr, "%scannot answer %s: %s\n", prefix_.c_str(), Describe(to).c_str(),
                     std::strerror(errno));
      }
    }
  }

  std::optional<std::chrono::steady_clock::time_point> NextWake() const override {
    return schedule_.next();
  }

 private:
  void Receive() {
    for (;;) {
      std::uint8_t datagram[kMaxDatagram];
      sockaddr_in sender {};
      socklen_t senderSize = sizeof sender;
      const ssize_t n = recvfrom(fd_, datagram, sizeof datagram, 0,
                                 reinterpret_cast<sockaddr*>(&sender), &senderSize);
      if (n < 0) break;
      const auto size = static_cast<std::size_t>(n);
      if (size <= kPasscodeBytes) {
        if (options_.verbose) {
          std::fprintf(stderr, "%signored a %zu-byte datagram from %s\n", prefix_.c_str(), size,
                       Describe(sender).c_str());
        }
        continue;
      }
      const int passcode = datagram[0] << 8 | datagram[1];
      if (options_.passcode && passcode != (*options_.passcode & 0xFFFF)) {
        if (options_.verbose) {
          std::fprintf(stderr, "%signored a datagram from %s: passcode %d, not %d\n",
                       prefix_.c_str(), Describe(sender).c_str(), passcode,
                       *options_.passcode & 0xFFFF);
        }
        continue;
      }
      const auto answers =
          radio_.HandleRequestAnswers(datagram + kPasscodeBytes, size - kPasscodeBytes);
      schedule_.Add(size - kPasscodeBytes, answers, DestinationKey(sender),
                    std::chrono::steady_clock::now());
      ReportExchanges(radio_, options_.verbose, prefix_);
    }
  }

  const RadioSimOptions options_;
  SimulatedRadio& radio_;
  const std::string prefix_;
  int fd_ = -1;
  sockaddr_in local_ {};
  AnswerSchedule schedule_;
};

}  // namespace

std::unique_ptr<RadioStation> MakeUdpStation(const RadioSimOptions& options,
                                             SimulatedRadio& radio, std::string logPrefix) {
  return std::make_unique<UdpStation>(options, radio, std::move(logPrefix));
}

}  // namespace flash::sim
