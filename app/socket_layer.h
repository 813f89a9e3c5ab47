#pragma once

#include <functional>

namespace flash {

// The network layer the UDP link needs. Linux keeps it ready in the kernel, so
// starting it means checking that a datagram socket can be made at all.
class SocketLayer {
 public:
  using Probe = std::function<bool()>;

  SocketLayer();
  // For tests: a probe that decides whether the layer is available.
  explicit SocketLayer(Probe probe);

  bool Start();
  void Stop();
  bool started() const { return started_; }

 private:
  Probe probe_;
  bool started_ = false;
};

}  // namespace flash
