#include "link/radio_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace flash {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kArrivalLimitMs = 2000;
constexpr char kRadioAddress[] = "127.0.0.2";

// A datagram socket standing in for the radio, or for another program.
class PlainSocket {
 public:
  PlainSocket(const char* address, int port, bool reuse) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (reuse) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_aton(address, &local.sin_addr);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~PlainSocket() { ::close(fd_); }
  PlainSocket(const PlainSocket&) = delete;
  PlainSocket& operator=(const PlainSocket&) = delete;

  bool bound() const { return bound_; }
  int port() const {
    sockaddr_in local {};
    socklen_t size = sizeof local;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size);
    return ntohs(local.sin_port);
  }

  // The next datagram and its sender, or nothing within the limit.
  bool Receive(Bytes& datagram, sockaddr_in& from) const {
    pollfd input{fd_, POLLIN, 0};
    if (::poll(&input, 1, kArrivalLimitMs) <= 0) return false;
    datagram.resize(65536);
    socklen_t size = sizeof from;
    const ssize_t got = ::recvfrom(fd_, datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &size);
    if (got < 0) return false;
    datagram.resize(static_cast<std::size_t>(got));
    return true;
  }

  void SendTo(const sockaddr_in& to, const Bytes& datagram) const {
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

bool WaitReadable(const RadioSocket& socket, int limitMs = kArrivalLimitMs) {
  pollfd input{socket.fd(), POLLIN, 0};
  return ::poll(&input, 1, limitMs) > 0;
}

Bytes ReceiveOne(RadioSocket& socket) {
  Bytes buffer(kMaxDatagramSize);
  std::int32_t error = -1;
  const std::int32_t got = socket.Receive(buffer.data(), buffer.size(), &error);
  EXPECT_GE(got, 0);
  EXPECT_EQ(error, 0);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return buffer;
}

// The arrangement for a radio simulated on this machine: it binds the radio's
// port on 127.0.0.2 with address reuse, our socket binds the same port on all
// addresses and connects to it.
class RadioOnLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(radio_.bound());
    port_ = radio_.port();
    ASSERT_EQ(socket_.Create(port_), 0);
    ASSERT_TRUE(socket_.HasSocket());
    ASSERT_EQ(socket_.LocalPort(), port_);
    ASSERT_EQ(socket_.Connect(kRadioAddress, port_), 0);
  }

  // The radio's side learns our address from a first request.
  sockaddr_in FirstRequest() {
    const Bytes request{0x00, 0x07, '?', 'V', '\r'};
    EXPECT_EQ(socket_.Send(request.data(), request.size()), 0);
    Bytes datagram;
    sockaddr_in from {};
    EXPECT_TRUE(radio_.Receive(datagram, from));
    EXPECT_EQ(datagram, request);
    return from;
  }

  PlainSocket radio_{kRadioAddress, 0, true};
  int port_ = 0;
  RadioSocket socket_;
};

TEST_F(RadioOnLoopback, SendsOneDatagramToTheRadioFromTheSamePortNumber) {
  const sockaddr_in from = FirstRequest();
  EXPECT_EQ(ntohs(from.sin_port), port_);
  // Our own datagram is not handed back to us although we share the port.
  pollfd input{socket_.fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&input, 1, 20), 0);
}

TEST_F(RadioOnLoopback, ReceivesTheRadiosAnswerAsOneDatagram) {
  const sockaddr_in us = FirstRequest();
  radio_.SendTo(us, Bytes{'V', 'E', 'R', '\r'});
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), (Bytes{'V', 'E', 'R', '\r'}));
}

TEST_F(RadioOnLoopback, AnswersZeroForAnEmptyDatagramAndReadsTheNextOne) {
  const sockaddr_in us = FirstRequest();
  radio_.SendTo(us, Bytes{});
  radio_.SendTo(us, Bytes{':', '4', '2'});
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_TRUE(ReceiveOne(socket_).empty());
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), (Bytes{':', '4', '2'}));
}

TEST_F(RadioOnLoopback, AnswersZeroWhenNothingWaits) {
  EXPECT_TRUE(ReceiveOne(socket_).empty());
}

TEST_F(RadioOnLoopback, TakesAtMost4096BytesOfADatagram) {
  const sockaddr_in us = FirstRequest();
  radio_.SendTo(us, Bytes(5000, 'x'));
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), Bytes(kMaxDatagramSize, 'x'));
}

TEST_F(RadioOnLoopback, IgnoresDatagramsFromAnyoneButTheRadio) {
  const sockaddr_in us = FirstRequest();
  PlainSocket stranger("127.0.0.3", 0, false);
  ASSERT_TRUE(stranger.bound());
  sockaddr_in to = us;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  stranger.SendTo(to, Bytes{'n', 'o'});
  radio_.SendTo(us, Bytes{'y', 'e', 's'});
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), (Bytes{'y', 'e', 's'}));
  EXPECT_TRUE(ReceiveOne(socket_).empty());
}

TEST(RadioSocketConnection, IgnoresADatagramAStrangerSentBeforeTheConnection) {
  // A datagram that reaches the bound socket before connect() stays queued after it.
  PlainSocket radio(kRadioAddress, 0, true);
  ASSERT_TRUE(radio.bound());
  RadioSocket socket;
  ASSERT_EQ(socket.Create(radio.port()), 0);
  PlainSocket stranger("127.0.0.3", 0, false);
  ASSERT_TRUE(stranger.bound());
  sockaddr_in ours {};
  ours.sin_family = AF_INET;
  ours.sin_port = htons(static_cast<std::uint16_t>(radio.port()));
  ours.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  stranger.SendTo(ours, Bytes{'R', 'E', 'A', 'D', 'Y', '\r'});
  ASSERT_TRUE(WaitReadable(socket));
  ASSERT_EQ(socket.Connect(kRadioAddress, radio.port()), 0);

  const Bytes request{0x00, 0x07, '?', 'V', '\r'};
  ASSERT_EQ(socket.Send(request.data(), request.size()), 0);
  Bytes datagram;
  sockaddr_in from {};
  ASSERT_TRUE(radio.Receive(datagram, from));
  radio.SendTo(from, Bytes{'V', 'E', 'R', '\r'});
  ASSERT_TRUE(WaitReadable(socket));
  EXPECT_EQ(ReceiveOne(socket), (Bytes{'V', 'E', 'R', '\r'}));
  EXPECT_TRUE(ReceiveOne(socket).empty());
}

TEST_F(RadioOnLoopback, ConnectsToAHostName) {
  PlainSocket local("127.0.0.1", 0, false);
  ASSERT_TRUE(local.bound());
  ASSERT_EQ(socket_.Connect("localhost", local.port()), 0);
  const Bytes request{0x00, 0x07, '?', 'V', '\r'};
  ASSERT_EQ(socket_.Send(request.data(), request.size()), 0);
  Bytes datagram;
  sockaddr_in from {};
  ASSERT_TRUE(local.Receive(datagram, from));
  EXPECT_EQ(datagram, request);
}

TEST_F(RadioOnLoopback, AnswersTheLookupErrorForAnUnknownName) {
  EXPECT_EQ(socket_.Connect(" ", port_), kSocketLookupFailed);
  EXPECT_EQ(socket_.Connect("", port_), kSocketLookupFailed);
}

TEST_F(RadioOnLoopback, AnswersZeroWhenTheRadioIsNotListening) {
  int silentPort = 0;
  {
    PlainSocket gone(kRadioAddress, 0, false);
    silentPort = gone.port();
  }
  ASSERT_EQ(socket_.Connect(kRadioAddress, silentPort), 0);
  const Bytes request{'?'};
  ASSERT_EQ(socket_.Send(request.data(), request.size()), 0);
  WaitReadable(socket_, 50);  // the refusal, where the system reports one
  std::int32_t error = -1;
  std::uint8_t buffer[16];
  EXPECT_EQ(socket_.Receive(buffer, sizeof buffer, &error), 0);
  EXPECT_EQ(error, 0);
}

TEST_F(RadioOnLoopback, CloseReleasesThePortForTheNextOperation) {
  socket_.Close();
  EXPECT_FALSE(socket_.HasSocket());
  EXPECT_EQ(socket_.fd(), -1);
  ASSERT_EQ(socket_.Create(port_), 0);
  ASSERT_EQ(socket_.Connect(kRadioAddress, port_), 0);
  FirstRequest();
}

TEST(RadioSocketCreation, FailsWithTheErrorWhenAnotherProgramHoldsThePort) {
  PlainSocket other("0.0.0.0", 0, false);
  ASSERT_TRUE(other.bound());
  RadioSocket socket;
  EXPECT_EQ(socket.Create(other.port()), EADDRINUSE);
  EXPECT_FALSE(socket.HasSocket());
  EXPECT_EQ(socket.lastError(), EADDRINUSE);
}

TEST(RadioSocketCreation, RefusesAPortOutsideTheUdpRange) {
  RadioSocket socket;
  EXPECT_EQ(socket.Create(70000), EINVAL);
  EXPECT_EQ(socket.Create(-1), EINVAL);
  EXPECT_FALSE(socket.HasSocket());
}

TEST(RadioSocketCreation, AnswersAnErrorWithoutASocket) {
  RadioSocket socket;
  const std::uint8_t byte = 0;
  EXPECT_EQ(socket.Connect(kRadioAddress, 49152), EBADF);
  EXPECT_EQ(socket.Send(&byte, 1), EBADF);
  std::int32_t error = 0;
  std::uint8_t buffer[4];
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, &error), -1);
  EXPECT_EQ(error, EBADF);
}

}  // namespace
}  // namespace flash
