#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace flash {

// A pseudo-terminal pair: the port under test opens the slave by its name; the
// test plays the radio on the master.
class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      slaveName_ = name;
      ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // The radio's side hangs up, as an unplugged adapter does.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

  bool ok() const { return master_ >= 0; }
  const std::string& slaveName() const { return slaveName_; }
  // The test's own descriptor of the slave: its termios are the port's.
  int slave() const { return slave_; }
  int master() const { return master_; }

  void RadioSends(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
    }
  }
  void RadioSends(const std::string& text) const {
    RadioSends(std::vector<std::uint8_t>(text.begin(), text.end()));
  }

  // What the port sent, once count bytes arrived or the time ran out.
  std::vector<std::uint8_t> RadioReceives(std::size_t count,
                                          std::chrono::milliseconds limit) const {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd input{master_, POLLIN, 0};
      if (::poll(&input, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t chunk[4096];
      const ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n > 0) got.insert(got.end(), chunk, chunk + n);
    }
    return got;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slaveName_;
};

}  // namespace flash
