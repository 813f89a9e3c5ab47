#include "app/socket_layer.h"

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

namespace flash {
namespace {

bool DatagramSocketsAvailable() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

bool SocketLayer::Start() {
  started_ = DatagramSocketsAvailable();
  return started_;
}

void SocketLayer::Stop() { started_ = false; }

}  // namespace flash
