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
  std::int32_t Call(std::string call, Values... values) {
    ((call += " " + std::to_string(values)), ...);
    calls.push_back(call);
    return kResultOk;
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
  std::int32_t Open(const std::string& device, std::uint32_t in, std::uint32_t out) override {
    open = true;
    return Call("Open " + device, in, out);
  }
  std::int32_t Close() override { open = false; return Call("Close"); }
  bool IsOpen() const override { return open; }
  std::size_t DiscardedAtClose() const override { return discardedAtClose; }
  std::int32_t SetLineFormat(std::uint32_t baud, int bits, int parity, int stop) override {
    return Call("SetLineFormat", baud, bits, parity, stop);
  }
  std::int32_t SetFlowControl(int kind) override { return Call("SetFlowControl", kind); }
  void SetWriteTimeouts(std::uint32_t perByte, std::uint32_t fixed) override {
    Call("SetWriteTimeouts", perByte, fixed);
  }
  std::int32_t SetEventCharacter(char c, bool add) override {
    return Call("SetEventCharacter", int{c}, add);
  }
  std::int32_t SetEventMask(std::uint32_t mask) override { return Call("SetEventMask", mask); }
  void Purge() override {
    Call("Purge");
    input.clear();
  }
  std::int32_t Read(std::uint8_t* buffer, std::size_t size, std::size_t* count) override {
    *count = std::min(size, input.size());
    std::memcpy(buffer, input.data(), *count);
    input.erase(0, *count);
    return open ? kResultOk : kResultInvalidHandle;
  }
  std::int32_t Write(const std::uint8_t* data, std::size_t size, std::size_t* count) override {
    *count = open ? size : 0;
    if (!open) return kResultInvalidHandle;
    writes.emplace_back(reinterpret_cast<const char*>(data), size);
    for (std::string& answer : radio ? radio(writes.back()) : std::vector<std::string>{}) {
      pending.push_back(std::move(answer));
    }
    return kResultOk;
  }

  PortAvailability availability = PortAvailable;
  std::string unavailableReason;
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
  std::int32_t Create(int localPort) override {
    hasSocket = createError == 0;
    Call("Create", localPort);
    return createError;
  }
  bool HasSocket() const override { return hasSocket; }
  std::int32_t Connect(const std::string& address, int port) override {
    return Call("Connect " + address, port);
  }
  std::int32_t Send(const std::uint8_t* data, std::size_t size) override {
    datagrams.emplace_back(reinterpret_cast<const char*>(data), size);
    return static_cast<std::int32_t>(size);
  }
  std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity, std::int32_t* error) override {
    if (receiveError != 0) {
      *error = std::exchange(receiveError, 0);
      return -1;
    }
    if (incoming.empty()) return 0;
    const std::size_t n = std::min(capacity, incoming.front().size());
    std::memcpy(buffer, incoming.front().data(), n);
    incoming.pop_front();
    return static_cast<std::int32_t>(n);
  }
  void Close() override { hasSocket = false; Call("Close"); }

  std::int32_t createError = 0;
  bool hasSocket = false;
  std::vector<std::string> datagrams;
  std::deque<std::string> incoming;
  std::int32_t receiveError = 0;  // when set, the next Receive fails with it
};

}  // namespace flash::test
