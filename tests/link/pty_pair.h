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
    return RadioReceivesUntil(limit, [count](const std::vector<std::uint8_t>& got) {
      return got.size() >= count;
    });
  }
  // What the port sent, up to and with the first byte last (one request of the radio
  // protocol ends in CR), or what came before the time ran out.
  std::vector<std::uint8_t> RadioReceivesThrough(std::uint8_t last,
                                                 std::chrono::milliseconds limit) const {
    return RadioReceivesUntil(limit, [last](const std::vector<std::uint8_t>& got) {
      return !got.empty() && got.back() == last;
    });
  }

 private:
  // Byte by byte, so that nothing past the end of what done wants is taken.
  template <typename Done>
  std::vector<std::uint8_t> RadioReceivesUntil(std::chrono::milliseconds limit, Done done) const {
    std::vector<std::uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done(got)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd input{master_, POLLIN, 0};
      if (::poll(&input, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t byte = 0;
      if (::read(master_, &byte, 1) == 1) got.push_back(byte);
    }
    return got;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string slaveName_;
};

}  // namespace flash
