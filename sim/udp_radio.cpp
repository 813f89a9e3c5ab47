#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

}  // namespace

int RunUdpRadio(const RadioSimOptions& options, SimulatedRadio& radio, int stopFd) {
  sockaddr_in local {};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<std::uint16_t>(options.udpPort));
  if (inet_pton(AF_INET, options.udpAddress.c_str(), &local.sin_addr) != 1) {
    std::fprintf(stderr, "radio-sim: '%s' is not a dotted IPv4 address\n",
                 options.udpAddress.c_str());
    return 1;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "radio-sim: cannot create a UDP socket: %s\n", std::strerror(errno));
    return 1;
  }
  // Flash Update binds the same port number on all addresses; with reuse allowed on
  // both sockets the two can exist side by side, each on its own address.
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    std::fprintf(stderr, "radio-sim: cannot bind to %s:%d: %s\n", options.udpAddress.c_str(),
                 options.udpPort, std::strerror(errno));
    close(fd);
    return 1;
  }
  socklen_t localSize = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize);
  std::printf("radio-sim: UDP radio on %s\n", Describe(local).c_str());
  std::fflush(stdout);

  AnswerSchedule schedule(radio.config().faults.answerDelay, options.wirePaced);
  int status = 0;
  for (;;) {
    pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, POLLIN, 0}};
    const timespec timeout = PollTimeoutUntil(schedule.next(), std::chrono::steady_clock::now());
    if (ppoll(fds, 2, &timeout, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "radio-sim: poll failed: %s\n", std::strerror(errno));
      status = 1;
      break;
    }
    if (fds[0].revents != 0) break;

    if (fds[1].revents & POLLIN) {
      for (;;) {
        std::uint8_t datagram[kMaxDatagram];
        sockaddr_in sender {};
        socklen_t senderSize = sizeof sender;
        const ssize_t n = recvfrom(fd, datagram, sizeof datagram, 0,
                                   reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (n < 0) break;
        const auto size = static_cast<std::size_t>(n);
        if (size <= kPasscodeBytes) {
          if (options.verbose) {
            std::fprintf(stderr, "radio-sim: ignored a %zu-byte datagram from %s\n", size,
                         Describe(sender).c_str());
          }
          continue;
        }
        const int passcode = datagram[0] << 8 | datagram[1];
        if (options.passcode && passcode != (*options.passcode & 0xFFFF)) {
          if (options.verbose) {
            std::fprintf(stderr, "radio-sim: ignored a datagram from %s: passcode %d, not %d\n",
                         Describe(sender).c_str(), passcode, *options.passcode & 0xFFFF);
          }
          continue;
        }
        const auto answers =
            radio.HandleRequestAnswers(datagram + kPasscodeBytes, size - kPasscodeBytes);
        schedule.Add(size - kPasscodeBytes, answers, DestinationKey(sender),
                     std::chrono::steady_clock::now());
        ReportExchanges(radio, options.verbose);
      }
    }

    for (const AnswerSchedule::Answer& answer :
         schedule.TakeDue(std::chrono::steady_clock::now())) {
      const sockaddr_in to = AddressOfKey(answer.destination);
      if (sendto(fd, answer.bytes.data(), answer.bytes.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0 &&
          options.verbose) {
        std::fprintf(stderr, "radio-sim: cannot answer %s: %s\n", Describe(to).c_str(),
                     std::strerror(errno));
      }
    }
  }
  close(fd);
  return status;
}

}  // namespace flash::sim
