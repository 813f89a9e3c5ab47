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
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    slaveName_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    ::close(slave_);
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
  int slave() const { return slave_; }  // its termios are the port's

  void RadioSends(const std::string& bytes) const {
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
      sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
  }
  // What the port sent, taken byte by byte so that nothing more is taken, until count
  // bytes or the byte `last` (a request ends in CR) came, or the time ran out.
  std::vector<std::uint8_t> RadioReceives(std::size_t count, std::chrono::milliseconds limit,
                                          int last = -1) const {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count && (got.empty() || got.back() != last) &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd input{master_, POLLIN, 0};
      std::uint8_t byte = 0;
      if (::poll(&input, 1, 10) > 0 && ::read(master_, &byte, 1) == 1) got.push_back(byte);
    }
    return got;
  }
  std::vector<std::uint8_t> RadioReceivesThrough(std::uint8_t last,
                                                 std::chrono::milliseconds limit) const {
    return RadioReceives(SIZE_MAX, limit, last);
  }

 private:
  int master_ = -1, slave_ = -1;
  std::string slaveName_;
};

}  // namespace flash
