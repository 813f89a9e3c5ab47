#pragma once

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/radio_links.h"

namespace flash::test {

// The calls a fake link was asked to make, with their arguments ("SetFlowControl 1").
struct CallLog {
  template <typename... Values>
  LinkResult Call(std::string call, Values... values) {
    ((call += " " + std::to_string(values)), ...);
    calls.push_back(call);
    return kLinkOk;
  }
  std::vector<std::string> calls;
};

// A serial port; tests put answers in input, or let radio answer each request into pending.
class FakeSerialLink : public SerialLink, public CallLog {
 public:
  PortAvailability CheckPortAvailable(const std::string& device) override {
    Call("CheckPortAvailable " + device);
    return availability;
  }
  std::string UnavailableReason() const override { return unavailableReason; }
  LinkResult Open(const std::string& device, std::uint32_t in, std::uint32_t out) override {
    open = openError == 0;
    Call("Open " + device, in, out);
    return LinkResultOf(openError);
  }
  LinkResult Close() override { open = false; return Call("Close"); }
  bool IsOpen() const override { return open; }
  std::size_t DiscardedAtClose() const override { return discardedAtClose; }
  LinkResult SetLineFormat(std::uint32_t baud, int bits, int parity, int stop) override {
    return Call("SetLineFormat", baud, bits, parity, stop);
  }
  LinkResult SetFlowControl(int kind) override { return Call("SetFlowControl", kind); }
  void SetWriteTimeouts(std::uint32_t perByte, std::uint32_t fixed) override {
    Call("SetWriteTimeouts", perByte, fixed);
  }
  LinkResult SetEventCharacter(char c, bool add) override {
    return Call("SetEventCharacter", int{c}, add);
  }
  LinkResult SetEventMask(std::uint32_t mask) override { return Call("SetEventMask", mask); }
  void Purge() override {
    Call("Purge");
    input.clear();
  }
  LinkResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* count) override {
    *count = std::min(size, input.size());
    std::memcpy(buffer, input.data(), *count);
    input.erase(0, *count);
    return open ? kLinkOk : LinkResult{LinkStatus::NotOpen, 0};
  }
  LinkResult Write(const std::uint8_t* data, std::size_t size, std::size_t* count) override {
    *count = open && writeError == 0 ? size : 0;
    if (!open) return {LinkStatus::NotOpen, 0};
    if (writeError != 0) return LinkResultOf(std::exchange(writeError, 0));
    writes.emplace_back(reinterpret_cast<const char*>(data), size);
    for (std::string& answer : radio ? radio(writes.back()) : std::vector<std::string>{}) {
      pending.push_back(std::move(answer));
    }
    return kLinkOk;
  }

  PortAvailability availability = PortAvailable;
  std::string unavailableReason;
  int openError = 0;   // errno of every Open while set
  int writeError = 0;  // when set, the next Write fails with it and sends nothing
  bool open = false;
  std::vector<std::string> writes;  // one entry per Write
  std::string input;                // bytes waiting to be read
  std::size_t discardedAtClose = 0;
  // The radio at the other end: its answers to one request, each arriving on its own.
  std::function<std::vector<std::string>(const std::string&)> radio;
  std::deque<std::string> pending;
};

// A UDP socket; tests put received datagrams in incoming.
class FakeUdpLink : public UdpLink, public CallLog {
 public:
  LinkResult Create(int localPort) override {
    hasSocket = createError == 0;
    Call("Create", localPort);
    return LinkResultOf(createError);
  }
  bool HasSocket() const override { return hasSocket; }
  LinkResult Connect(const std::string& address, int port) override {
    return Call("Connect " + address, port);
  }
  LinkResult Send(const std::uint8_t* data, std::size_t size) override {
    if (sendError != 0) return LinkResultOf(std::exchange(sendError, 0));
    datagrams.emplace_back(reinterpret_cast<const char*>(data), size);
    return kLinkOk;
  }
  LinkResult Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* count) override {
    *count = 0;
    if (receiveError != 0) return LinkResultOf(std::exchange(receiveError, 0));
    if (incoming.empty()) return kLinkOk;
    *count = std::min(capacity, incoming.front().size());
    std::memcpy(buffer, incoming.front().data(), *count);
    incoming.pop_front();
    return kLinkOk;
  }
  void Close() override { hasSocket = false; Call("Close"); }

  int createError = 0;
  bool hasSocket = false;
  std::vector<std::string> datagrams;
  std::deque<std::string> incoming;
  int sendError = 0;     // when set, the next Send fails with it and sends nothing
  int receiveError = 0;  // when set, the next Receive fails with it
};

}  // namespace flash::test
