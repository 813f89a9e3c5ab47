#include "app/socket_layer.h"

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <utility>

namespace flash {
namespace {

bool DatagramSocketsAvailable() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

SocketLayer::SocketLayer() : probe_(DatagramSocketsAvailable) {}

SocketLayer::SocketLayer(Probe probe) : probe_(std::move(probe)) {}

bool SocketLayer::Start() {
  started_ = probe_ ? probe_() : false;
  return started_;
}

void SocketLayer::Stop() { started_ = false; }

}  // namespace flash
