#include "link/radio_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace flash {
namespace {

bool ValidPort(int port) { return port >= 0 && port <= 65535; }

sockaddr_in Endpoint(in_addr address, int port) {
  sockaddr_in endpoint {};
  endpoint.sin_family = AF_INET;
  endpoint.sin_port = htons(static_cast<std::uint16_t>(port));
  endpoint.sin_addr = address;
  return endpoint;
}

bool FromPeer(const sockaddr_in& from, const sockaddr_in& peer) {
  return from.sin_family == AF_INET && from.sin_port == peer.sin_port &&
         from.sin_addr.s_addr == peer.sin_addr.s_addr;
}

}  // namespace

std::optional<in_addr> LookUpRadioAddress(const std::string& address, std::string* reason) {
  in_addr found {};
  if (::inet_aton(address.c_str(), &found) != 0) return found;
  addrinfo hints {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* results = nullptr;
  const int error = ::getaddrinfo(address.c_str(), nullptr, &hints, &results);
  if (error != 0 || results == nullptr) {
    if (reason != nullptr) {
      *reason = error == EAI_SYSTEM ? std::string(std::strerror(errno)) : gai_strerror(error);
    }
    return std::nullopt;
  }
  found = reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr;
  ::freeaddrinfo(results);
  return found;
}

std::string UnresolvableAddressMessage(const std::string& address) {
  std::string reason;
  if (LookUpRadioAddress(address, &reason)) return {};
  return "The radio's address " + address + " cannot be resolved (" + reason +
         "); nothing was sent.";
}

RadioSocket::~RadioSocket() { Close(); }

LinkResult RadioSocket::Create(int localPort) {
  Close();
  if (!ValidPort(localPort)) return LinkResultOf(EINVAL);
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return LinkResultOf(errno);
  // Lets a radio simulated on this machine bind the same port on another
  // loopback address (see the class comment).
  const int on = 1;
  in_addr any {};
  any.s_addr = htonl(INADDR_ANY);
  const sockaddr_in local = Endpoint(any, localPort);
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = errno;
    ::close(fd);
    return LinkResultOf(error);
  }
  fd_ = fd;
  return kLinkOk;
}

LinkResult RadioSocket::Connect(const std::string& address, int port) {
  if (fd_ < 0) return {LinkStatus::NotOpen, 0};
  if (!ValidPort(port)) return LinkResultOf(EINVAL);
  const std::optional<in_addr> found = LookUpRadioAddress(address);
  if (!found) return {LinkStatus::InvalidArgument, 0};
  const sockaddr_in remote = Endpoint(*found, port);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
    return LinkResultOf(errno);
  }
  peer_ = remote;
  return kLinkOk;
}

LinkResult RadioSocket::Send(const std::uint8_t* data, std::size_t size) {
  if (fd_ < 0) return {LinkStatus::NotOpen, 0};
  for (;;) {
    if (::send(fd_, data, size, MSG_NOSIGNAL) >= 0) return kLinkOk;
    if (errno != EINTR) return LinkResultOf(errno);
  }
}

LinkResult RadioSocket::Receive(std::uint8_t* buffer, std::size_t capacity,
                                std::size_t* countOut) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  if (fd_ < 0) return {LinkStatus::NotOpen, 0};
  for (;;) {
    sockaddr_in from {};
    socklen_t fromSize = sizeof from;
    const ssize_t got =
        ::recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (got >= 0 && peer_ && !FromPeer(from, *peer_)) continue;
    if (got >= 0) {
      count = static_cast<std::size_t>(got);
      return kLinkOk;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNREFUSED) return kLinkOk;
    return LinkResultOf(errno);
  }
}

void RadioSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  peer_.reset();
}

}  // namespace flash
