#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/radio_links.h"

namespace flash {

// The largest answer datagram the program takes.
inline constexpr std::size_t kMaxDatagramSize = 4096;  // bytes

// The radio's IPv4 address: a dotted address as it stands, otherwise the first
// address of the host name. Nothing when there is none; reason then says why.
std::optional<in_addr> LookUpRadioAddress(const std::string& address,
                                          std::string* reason = nullptr);
// What both programs say before anything is sent when the radio's address cannot
// be resolved; an empty text when it can.
std::string UnresolvableAddressMessage(const std::string& address);

// The UDP link on a POSIX datagram socket. The socket never blocks: the host's
// event loop watches fd() for readability and then asks the engine to receive.
//
// The socket is bound to the radio's port number on all local addresses, with
// SO_REUSEADDR. A radio simulated on the same machine therefore binds the same
// port on another loopback address, also with SO_REUSEADDR, e.g. 127.0.0.2:49152,
// and the program's settings name that address. Linux then hands the radio the
// datagrams sent to 127.0.0.2 and hands this socket, connected to the radio,
// the radio's answers (a connected socket is the better match for them).
class RadioSocket : public UdpLink {
 public:
  RadioSocket() = default;
  ~RadioSocket() override;
  RadioSocket(const RadioSocket&) = delete;
  RadioSocket& operator=(const RadioSocket&) = delete;

  // A socket that already exists is closed first. A failure keeps the errno of the
  // step that failed (EINVAL for a port outside 0..65535); a socket whose binding
  // failed is closed again.
  LinkResult Create(int localPort) override;
  bool HasSocket() const override { return fd_ >= 0; }
  // The first IPv4 address of a host name; InvalidArgument (without an errno)
  // when there is none.
  LinkResult Connect(const std::string& address, int port) override;
  LinkResult Send(const std::uint8_t* data, std::size_t size) override;
  // One datagram (cut to capacity). 0 when nothing waits, for an empty datagram,
  // and for the refusal a previous send drew from a radio that is not
  // listening (the silence is reported by the response timer, once). Datagrams
  // from anyone but the connected radio are dropped.
  LinkResult Receive(std::uint8_t* buffer, std::size_t capacity,
                     std::size_t* countOut) override;
  void Close() override;

  // The descriptor to watch for readability; -1 without a socket.
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  // The radio once connected: the kernel filters later datagrams by it, but not
  // those queued between the binding and the connection.
  std::optional<sockaddr_in> peer_;
};

}  // namespace flash
