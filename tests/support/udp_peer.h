#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

namespace flash::test {

// A plain datagram socket on loopback, standing in for a radio, a program or a stranger.
class UdpPeer {
 public:
  static constexpr std::chrono::milliseconds kArrivalLimit{2000};  // bounds a failure only

  // Binds to address:port (port 0: any free one). With reuse it can share its port
  // number with a socket bound on all addresses, as the program's socket does.
  explicit UdpPeer(const char* address, int port = 0, bool reuse = false) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (reuse) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in local = Address(address, port);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  }
  ~UdpPeer() { ::close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  static sockaddr_in Address(const char* address, int port) {
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
  }

  bool bound() const { return bound_; }
  int port() const {
    sockaddr_in local {};
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
  }

  bool SendTo(const sockaddr_in& to, const std::string& datagram) const {
    const auto* address = reinterpret_cast<const sockaddr*>(&to);
    return ::sendto(fd_, datagram.data(), datagram.size(), 0, address, sizeof to) >= 0;
  }
  bool SendTo(const char* address, int port, const std::string& datagram) const {
    return SendTo(Address(address, port), datagram);
  }
  void Connect(const char* address, int port) const {
    const sockaddr_in to = Address(address, port);
    ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }

  // The next datagram and its sender, or nothing within the limit.
  std::optional<std::string> Receive(sockaddr_in* from = nullptr) const {
    pollfd input{fd_, POLLIN, 0};
    if (::poll(&input, 1, static_cast<int>(kArrivalLimit.count())) <= 0) return std::nullopt;
    std::string datagram(65536, '\0');
    sockaddr_in sender {};
    socklen_t size = sizeof sender;
    const ssize_t got = ::recvfrom(fd_, datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr*>(&sender), &size);
    if (got < 0) return std::nullopt;
    if (from) *from = sender;
    datagram.resize(static_cast<std::size_t>(got));
    return datagram;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

}  // namespace flash::test
