#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/radio_links.h"

namespace flash {

// The UDP side of a run with several radios: one datagram socket per radio port
// (bound on all local addresses with SO_REUSEADDR, as RadioSocket is) serves every
// radio that uses that port. Each radio's engine gets its own Link, which sends to
// its radio and receives only the datagrams that came from that radio's address
// and port; datagrams from anyone else are dropped. The socket itself is never
// connected, so that it hears every radio; it is closed when its last Link closes.
class SharedRadioSocket {
 public:
  class Link final : public UdpLink {
   public:
    explicit Link(SharedRadioSocket& owner) : owner_(owner) {}
    ~Link() override { Close(); }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    LinkResult Create(int localPort) override;
    bool HasSocket() const override { return port_ >= 0; }
    LinkResult Connect(const std::string& address, int port) override;
    LinkResult Send(const std::uint8_t* data, std::size_t size) override;
    // The oldest datagram its radio sent (cut to capacity); 0 when none waits.
    LinkResult Receive(std::uint8_t* buffer, std::size_t capacity,
                       std::size_t* countOut) override;
    void Close() override;

    // A datagram from its radio waits for Receive.
    bool pending() const { return !queue_.empty(); }

   private:
    friend class SharedRadioSocket;
    SharedRadioSocket& owner_;
    int port_ = -1;  // the local port of the socket it shares; -1 without one
    std::optional<sockaddr_in> peer_;
    std::deque<std::string> queue_;
  };

  SharedRadioSocket() = default;
  ~SharedRadioSocket();
  SharedRadioSocket(const SharedRadioSocket&) = delete;
  SharedRadioSocket& operator=(const SharedRadioSocket&) = delete;

  // The descriptors to watch for readability.
  std::vector<int> fds() const;
  // Reads every datagram that waits on fd and hands each to the Link of the radio
  // that sent it.
  void ServiceInput(int fd);

 private:
  struct Socket {
    int fd = -1;
    int users = 0;
  };
  LinkResult Acquire(int port, Link& link);
  void Release(Link& link);
  int FdOf(int port) const;

  std::map<int, Socket> sockets_;  // by local port
  std::vector<Link*> links_;       // those that hold a socket
};

}  // namespace flash
