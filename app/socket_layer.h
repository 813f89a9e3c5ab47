#pragma once

namespace flash {

// The network layer the UDP link needs. Linux keeps it ready in the kernel, so
// starting it means checking that a datagram socket can be made at all.
class SocketLayer {
 public:
  bool Start();
  void Stop();
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

}  // namespace flash
