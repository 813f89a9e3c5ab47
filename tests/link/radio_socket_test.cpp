#include "link/radio_socket.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/udp_peer.h"

namespace flash {
namespace {

using test::UdpPeer;

constexpr char kRadioAddress[] = "127.0.0.2";
const std::string kRequest("\x00\x07?V\r", 5);

bool WaitReadable(const RadioSocket& socket, int limitMs = 2000) {
  pollfd input{socket.fd(), POLLIN, 0};
  return ::poll(&input, 1, limitMs) > 0;
}

// One Receive: what it read; nothing read answers 0 without an error.
std::string ReceiveOne(RadioSocket& socket) {
  std::string buffer(kMaxDatagramSize, '\0');
  std::int32_t error = -1;
  const std::int32_t got =
      socket.Receive(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size(), &error);
  EXPECT_GE(got, 0);
  EXPECT_EQ(error, 0);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return buffer;
}

std::int32_t Send(RadioSocket& socket, const std::string& datagram) {
  return socket.Send(reinterpret_cast<const std::uint8_t*>(datagram.data()), datagram.size());
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
    ASSERT_EQ(socket_.Connect(kRadioAddress, port_), 0);
  }

  // The radio's side learns our address from a first request.
  sockaddr_in FirstRequest() {
    EXPECT_EQ(Send(socket_, kRequest), 0);
    sockaddr_in from {};
    EXPECT_EQ(radio_.Receive(&from), kRequest);
    return from;
  }

  UdpPeer radio_{kRadioAddress, 0, true};
  int port_ = 0;
  RadioSocket socket_;
};

TEST_F(RadioOnLoopback, ExchangesOneDatagramPerRequestAndAtMost4096BytesOfAnAnswer) {
  EXPECT_TRUE(ReceiveOne(socket_).empty()) << "nothing waits yet";
  const sockaddr_in us = FirstRequest();
  EXPECT_EQ(ntohs(us.sin_port), port_) << "sent from the radio's port number";
  // Our own datagram is not handed back to us although we share the port.
  EXPECT_FALSE(WaitReadable(socket_, 20));

  radio_.SendTo(us, "VER\r");
  radio_.SendTo(us, "");
  radio_.SendTo(us, std::string(5000, 'x'));
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), "VER\r");
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), "") << "an empty datagram reads as 0 bytes";
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), std::string(kMaxDatagramSize, 'x'));
}

TEST_F(RadioOnLoopback, IgnoresDatagramsFromAnyoneButTheRadio) {
  const sockaddr_in us = FirstRequest();
  UdpPeer stranger("127.0.0.3");
  ASSERT_TRUE(stranger.bound());
  sockaddr_in to = us;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  stranger.SendTo(to, "no");
  radio_.SendTo(us, "yes");
  ASSERT_TRUE(WaitReadable(socket_));
  EXPECT_EQ(ReceiveOne(socket_), "yes");
  EXPECT_TRUE(ReceiveOne(socket_).empty());
}

TEST(RadioSocketConnection, IgnoresADatagramAStrangerSentBeforeTheConnection) {
  // A datagram that reaches the bound socket before connect() stays queued after it.
  UdpPeer radio(kRadioAddress, 0, true);
  ASSERT_TRUE(radio.bound());
  RadioSocket socket;
  ASSERT_EQ(socket.Create(radio.port()), 0);
  UdpPeer stranger("127.0.0.3");
  ASSERT_TRUE(stranger.bound());
  stranger.SendTo("127.0.0.1", radio.port(), "READY\r");
  ASSERT_TRUE(WaitReadable(socket));
  ASSERT_EQ(socket.Connect(kRadioAddress, radio.port()), 0);

  ASSERT_EQ(Send(socket, kRequest), 0);
  sockaddr_in from {};
  ASSERT_TRUE(radio.Receive(&from));
  radio.SendTo(from, "VER\r");
  ASSERT_TRUE(WaitReadable(socket));
  EXPECT_EQ(ReceiveOne(socket), "VER\r");
  EXPECT_TRUE(ReceiveOne(socket).empty());
}

TEST_F(RadioOnLoopback, ConnectsToAHostNameAndAnswersTheLookupErrorForAnUnknownOne) {
  UdpPeer local("127.0.0.1");
  ASSERT_TRUE(local.bound());
  ASSERT_EQ(socket_.Connect("localhost", local.port()), 0);
  ASSERT_EQ(Send(socket_, kRequest), 0);
  EXPECT_EQ(local.Receive(), kRequest);
  EXPECT_EQ(socket_.Connect(" ", port_), kSocketLookupFailed);
  EXPECT_EQ(socket_.Connect("", port_), kSocketLookupFailed);
}

TEST_F(RadioOnLoopback, AnswersZeroWhenTheRadioIsNotListening) {
  int silentPort = 0;
  {
    UdpPeer gone(kRadioAddress);
    silentPort = gone.port();
  }
  ASSERT_EQ(socket_.Connect(kRadioAddress, silentPort), 0);
  ASSERT_EQ(Send(socket_, "?"), 0);
  WaitReadable(socket_, 50);  // the refusal, where the system reports one
  EXPECT_TRUE(ReceiveOne(socket_).empty());
}

TEST_F(RadioOnLoopback, CloseReleasesThePortForTheNextOperation) {
  socket_.Close();
  EXPECT_FALSE(socket_.HasSocket());
  EXPECT_EQ(socket_.fd(), -1);
  ASSERT_EQ(socket_.Create(port_), 0);
  ASSERT_EQ(socket_.Connect(kRadioAddress, port_), 0);
  FirstRequest();
}

TEST(RadioSocketCreation, FailsWithItsErrorForAPortHeldOrOutOfRangeAndNothingWorksWithout) {
  UdpPeer other("0.0.0.0");
  ASSERT_TRUE(other.bound());
  RadioSocket socket;
  EXPECT_EQ(socket.Create(other.port()), EADDRINUSE);
  EXPECT_EQ(socket.lastError(), EADDRINUSE);
  EXPECT_EQ(socket.Create(70000), EINVAL);
  EXPECT_EQ(socket.Create(-1), EINVAL);
  EXPECT_FALSE(socket.HasSocket());

  EXPECT_EQ(socket.Connect(kRadioAddress, 49152), EBADF);
  EXPECT_EQ(Send(socket, "?"), EBADF);
  std::int32_t error = 0;
  std::uint8_t buffer[4];
  EXPECT_EQ(socket.Receive(buffer, sizeof buffer, &error), -1);
  EXPECT_EQ(error, EBADF);
}

}  // namespace
}  // namespace flash
