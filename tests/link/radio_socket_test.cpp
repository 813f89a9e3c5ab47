// The UDP link on loopback, arranged as for a radio simulated on this machine: the
// radio binds its port on 127.0.0.2 with address reuse; our socket binds the same
// port number on all addresses and connects to it.
#include "link/radio_socket.h"
#include "link/shared_radio_socket.h"

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
std::string ReceiveOne(UdpLink& socket) {
  std::string buffer(kMaxDatagramSize, '\0');
  std::size_t got = 9999;
  const LinkResult result =
      socket.Receive(reinterpret_cast<std::uint8_t*>(buffer.data()), buffer.size(), &got);
  EXPECT_TRUE(result.ok()) << LinkResultText(result);
  return buffer.substr(0, got);
}

LinkResult Send(UdpLink& socket, const std::string& datagram) {
  return socket.Send(reinterpret_cast<const std::uint8_t*>(datagram.data()), datagram.size());
}

TEST(RadioSocket, TakesOnlyTheRadiosAnswersAlsoWhenOthersWroteBeforeTheConnection) {
  UdpPeer radio(kRadioAddress, 0, true);
  const int port = radio.port();
  RadioSocket socket;
  ASSERT_TRUE(radio.bound() && socket.Create(port).ok());
  EXPECT_EQ(ReceiveOne(socket), "") << "nothing waits yet";
  // What reaches the bound socket before connect() stays queued after it: here from
  // another port of the radio's own host, and from another host on the radio's port.
  UdpPeer otherPort(kRadioAddress), otherHost("127.0.0.3", port, true);
  ASSERT_TRUE(otherPort.SendTo("127.0.0.1", port, "READY\r"));
  ASSERT_TRUE(otherHost.SendTo("127.0.0.1", port, "READY\r"));
  ASSERT_TRUE(WaitReadable(socket));
  ASSERT_EQ(socket.Connect(kRadioAddress, port), kLinkOk);

  ASSERT_EQ(Send(socket, kRequest), kLinkOk);
  sockaddr_in from {};
  EXPECT_EQ(radio.Receive(&from), kRequest);
  EXPECT_EQ(ntohs(from.sin_port), port) << "sent from the radio's port number";
  radio.SendTo(from, "VER 1234 746\r");
  radio.SendTo(from, "");
  ASSERT_TRUE(WaitReadable(socket));
  EXPECT_EQ(ReceiveOne(socket), "VER 1234 746\r");
  ASSERT_TRUE(WaitReadable(socket)) << "an empty datagram";
  EXPECT_EQ(ReceiveOne(socket), "");
  EXPECT_FALSE(WaitReadable(socket, 0));
}

TEST(RadioSocket, AnswersEachFailureWithItsCodeAndARefusalAsSilence) {
  UdpPeer held("0.0.0.0"), local("127.0.0.1");
  RadioSocket socket;
  EXPECT_EQ(Send(socket, kRequest), (LinkResult{LinkStatus::NotOpen, 0}));
  EXPECT_EQ(socket.Create(held.port()), (LinkResult{LinkStatus::Busy, EADDRINUSE}));
  EXPECT_EQ(socket.Create(65536), (LinkResult{LinkStatus::InvalidArgument, EINVAL}));
  EXPECT_FALSE(socket.HasSocket());
  ASSERT_EQ(socket.Create(0), kLinkOk);
  ASSERT_EQ(socket.Connect("localhost", local.port()), kLinkOk);
  ASSERT_EQ(Send(socket, kRequest), kLinkOk);
  EXPECT_EQ(local.Receive(), kRequest);
  EXPECT_EQ(socket.Connect("::1", local.port()), (LinkResult{LinkStatus::InvalidArgument, 0}))
      << "the radio speaks IPv4";
  EXPECT_NE(UnresolvableAddressMessage(" ").find("   cannot be resolved ("), std::string::npos);

  // A radio that is not listening: the system's refusal of the request reads as silence.
  const int silentPort = UdpPeer(kRadioAddress).port();
  ASSERT_EQ(socket.Connect(kRadioAddress, silentPort), kLinkOk);
  ASSERT_EQ(Send(socket, kRequest), kLinkOk);
  WaitReadable(socket, 200);  // the refusal, where the system reports one
  EXPECT_EQ(ReceiveOne(socket), "");
}

// Radios of one run on one port share a socket: each link hears its own radio only.
TEST(SharedRadioSocket, HandsEachRadioItsOwnAnswersAndDropsAStrangers) {
  UdpPeer radioA(kRadioAddress, 0, true);
  const int port = radioA.port();
  UdpPeer radioB("127.0.0.3", port, true), stranger("127.0.0.4", port, true);
  SharedRadioSocket shared;
  SharedRadioSocket::Link a(shared), b(shared);
  ASSERT_TRUE(a.Create(port).ok() && b.Create(port).ok());
  ASSERT_TRUE(a.Connect(kRadioAddress, port).ok() && b.Connect("127.0.0.3", port).ok());
  ASSERT_EQ(shared.fds().size(), 1u);
  ASSERT_TRUE(Send(a, "A?").ok() && Send(b, "B?").ok());
  sockaddr_in fromA {}, fromB {};
  EXPECT_EQ(radioA.Receive(&fromA), "A?");
  EXPECT_EQ(radioB.Receive(&fromB), "B?");
  stranger.SendTo(fromA, "X\r");
  radioB.SendTo(fromB, "B\r");
  radioA.SendTo(fromA, "A\r");
  pollfd input{shared.fds().front(), POLLIN, 0};
  ASSERT_EQ(::poll(&input, 1, 2000), 1);
  shared.ServiceInput(input.fd);
  for (auto [link, answer] : {std::pair{&a, "A\r"}, std::pair{&b, "B\r"}}) {
    EXPECT_EQ(ReceiveOne(*link), answer);
    EXPECT_EQ(ReceiveOne(*link), "") << "the stranger's datagram is dropped";
  }
  a.Close();
  EXPECT_EQ(shared.fds().size(), 1u) << "b still uses it";
  b.Close();
  EXPECT_TRUE(shared.fds().empty());
}

}  // namespace
}  // namespace flash
