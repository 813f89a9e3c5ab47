#include "link/shared_radio_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/radio_socket.h"

namespace flash {
namespace {

// Answers of a radio that its engine has not taken yet; a radio that floods is cut here.
constexpr std::size_t kQueuedDatagramLimit = 64;
// Datagrams read at one call: a host that never stops sending cannot hold the loop here;
// poll reports the rest at once.
constexpr int kDatagramsAtOnce = 256;

}  // namespace

SharedRadioSocket::~SharedRadioSocket() {
  for (auto& [port, socket] : sockets_) ::close(socket.fd);
}

std::vector<int> SharedRadioSocket::fds() const {
  std::vector<int> fds;
  for (const auto& [port, socket] : sockets_) fds.push_back(socket.fd);
  return fds;
}

int SharedRadioSocket::FdOf(int port) const {
  const auto found = sockets_.find(port);
  return found == sockets_.end() ? -1 : found->second.fd;
}

LinkResult SharedRadioSocket::Acquire(int port, Link& link) {
  if (port < 0 || port > 65535) return LinkResultOf(EINVAL);
  Socket& socket = sockets_[port];
  if (socket.fd < 0) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
      const int error = errno;
      if (fd >= 0) ::close(fd);
      sockets_.erase(port);
      return LinkResultOf(error);
    }
    socket.fd = fd;
  }
  ++socket.users;
  link.port_ = port;
  links_.push_back(&link);
  return kLinkOk;
}

void SharedRadioSocket::Release(Link& link) {
  links_.erase(std::remove(links_.begin(), links_.end(), &link), links_.end());
  const auto found = sockets_.find(link.port_);
  link.port_ = -1;
  if (found == sockets_.end() || --found->second.users > 0) return;
  ::close(found->second.fd);
  sockets_.erase(found);
}

void SharedRadioSocket::ServiceInput(int fd) {
  int port = -1;
  for (const auto& [p, socket] : sockets_) {
    if (socket.fd == fd) port = p;
  }
  if (port < 0) return;
  std::uint8_t buffer[kMaxDatagramSize];
  for (int read = 0; read < kDatagramsAtOnce;) {
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    const ssize_t got =
        ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (got < 0) {
      if (errno == EINTR) continue;
      return;  // nothing more waits (or an error that the response timer reports as silence)
    }
    ++read;
    for (Link* link : links_) {
      if (link->port_ != port || !link->peer_ || link->peer_->sin_port != from.sin_port ||
          link->peer_->sin_addr.s_addr != from.sin_addr.s_addr) {
        continue;
      }
      if (link->queue_.size() < kQueuedDatagramLimit) {
        link->queue_.emplace_back(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(got));
      }
      break;
    }
  }
}

LinkResult SharedRadioSocket::Link::Create(int localPort) {
  Close();
  return owner_.Acquire(localPort, *this);
}

LinkResult SharedRadioSocket::Link::Connect(const std::string& address, int port) {
  if (port_ < 0) return {LinkStatus::NotOpen, 0};
  if (port < 0 || port > 65535) return LinkResultOf(EINVAL);
  const std::optional<in_addr> found = LookUpRadioAddress(address);
  if (!found) return {LinkStatus::InvalidArgument, 0};
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(static_cast<std::uint16_t>(port));
  remote.sin_addr = *found;
  peer_ = remote;
  queue_.clear();
  return kLinkOk;
}

LinkResult SharedRadioSocket::Link::Send(const std::uint8_t* data, std::size_t size) {
  const int fd = owner_.FdOf(port_);
  if (fd < 0) return {LinkStatus::NotOpen, 0};
  if (!peer_) return LinkResultOf(EDESTADDRREQ);
  for (;;) {
    if (::sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&*peer_),
                 sizeof *peer_) >= 0) {
      return kLinkOk;
    }
    if (errno != EINTR) return LinkResultOf(errno);
  }
}

LinkResult SharedRadioSocket::Link::Receive(std::uint8_t* buffer, std::size_t capacity,
                                            std::size_t* countOut) {
  std::size_t localCount = 0;
  std::size_t& count = countOut != nullptr ? *countOut : localCount;
  count = 0;
  if (queue_.empty()) return kLinkOk;
  const std::string datagram = std::move(queue_.front());
  queue_.pop_front();
  const std::size_t size = std::min(datagram.size(), capacity);
  std::memcpy(buffer, datagram.data(), size);
  count = size;
  return kLinkOk;
}

void SharedRadioSocket::Link::Close() {
  if (port_ >= 0) owner_.Release(*this);
  peer_.reset();
  queue_.clear();
}

}  // namespace flash
