#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/clock.h"
#include "engine/radio_links.h"

namespace flash::bench {

using BenchClock = std::chrono::steady_clock;

// One request as the engine handed it to a link.
struct TimedWrite {
  BenchClock::time_point time;  // when the engine called the link's write
  std::size_t size = 0;
  std::uint8_t firstByte = 0;
};

// The serial link with every write and every answer's arrival timestamped;
// everything else passes through. An answer counts as arrived when the engine
// reads it: the loop has just woken, moved it in and handed its event on.
class TimedSerialLink final : public SerialLink {
 public:
  explicit TimedSerialLink(SerialLink& inner) : inner_(inner) {
    writes_.reserve(1 << 16);
    arrivals_.reserve(1 << 16);
  }

  PortAvailability CheckPortAvailable(const std::string& deviceName) override {
    return inner_.CheckPortAvailable(deviceName);
  }
  std::string UnavailableReason() const override { return inner_.UnavailableReason(); }
  LinkResult Open(const std::string& deviceName, std::uint32_t inQueueSize,
                  std::uint32_t outQueueSize) override {
    return inner_.Open(deviceName, inQueueSize, outQueueSize);
  }
  LinkResult Close() override { return inner_.Close(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  std::size_t DiscardedAtClose() const override { return inner_.DiscardedAtClose(); }
  LinkResult SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                           int stopBits) override {
    return inner_.SetLineFormat(baudRate, dataBits, parity, stopBits);
  }
  LinkResult SetFlowControl(int kind) override { return inner_.SetFlowControl(kind); }
  void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) override {
    inner_.SetWriteTimeouts(perByteMs, constantMs);
  }
  LinkResult SetEventCharacter(char character, bool addToMask) override {
    return inner_.SetEventCharacter(character, addToMask);
  }
  LinkResult SetEventMask(std::uint32_t mask) override { return inner_.SetEventMask(mask); }
  void Purge() override { inner_.Purge(); }
  LinkResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) override {
    arrivals_.push_back(BenchClock::now());
    return inner_.Read(buffer, size, countOut);
  }
  LinkResult Write(const std::uint8_t* data, std::size_t size, std::size_t* countOut) override {
    writes_.push_back({BenchClock::now(), size, size > 0 ? data[0] : std::uint8_t{0}});
    return inner_.Write(data, size, countOut);
  }

  const std::vector<TimedWrite>& writes() const { return writes_; }
  const std::vector<BenchClock::time_point>& arrivals() const { return arrivals_; }

 private:
  SerialLink& inner_;
  std::vector<TimedWrite> writes_;
  std::vector<BenchClock::time_point> arrivals_;
};

// The UDP link with every send and every received datagram timestamped.
class TimedUdpLink final : public UdpLink {
 public:
  explicit TimedUdpLink(UdpLink& inner) : inner_(inner) {
    writes_.reserve(1 << 16);
    arrivals_.reserve(1 << 16);
  }

  LinkResult Create(int localPort) override { return inner_.Create(localPort); }
  bool HasSocket() const override { return inner_.HasSocket(); }
  LinkResult Connect(const std::string& address, int port) override {
    return inner_.Connect(address, port);
  }
  LinkResult Send(const std::uint8_t* data, std::size_t size) override {
    // The first two bytes are the passcode; the request begins after them.
    writes_.push_back({BenchClock::now(), size > 2 ? size - 2 : 0,
                       size > 2 ? data[2] : std::uint8_t{0}});
    return inner_.Send(data, size);
  }
  LinkResult Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* countOut) override {
    const BenchClock::time_point arrival = BenchClock::now();
    std::size_t received = 0;
    const LinkResult result = inner_.Receive(buffer, capacity, &received);
    if (received > 0) arrivals_.push_back(arrival);
    if (countOut != nullptr) *countOut = received;
    return result;
  }
  void Close() override { inner_.Close(); }

  const std::vector<TimedWrite>& writes() const { return writes_; }
  const std::vector<BenchClock::time_point>& arrivals() const { return arrivals_; }

 private:
  UdpLink& inner_;
  std::vector<TimedWrite> writes_;
  std::vector<BenchClock::time_point> arrivals_;
};

// The trace's clock: every time stamp the trace takes is noted. The engine stamps
// an answer's trace line just before the line step's countdown and the next
// request's trace line just after it, so these moments bracket the countdown.
class TimedClock final : public Clock {
 public:
  explicit TimedClock(Clock& inner) : inner_(inner) { stamps_.reserve(1 << 17); }

  std::int64_t CalendarSeconds() override { return inner_.CalendarSeconds(); }
  UtcTimeOfDay UtcNow() override {
    stamps_.push_back(BenchClock::now());
    return inner_.UtcNow();
  }

  const std::vector<BenchClock::time_point>& stamps() const { return stamps_; }

 private:
  Clock& inner_;
  std::vector<BenchClock::time_point> stamps_;
};

}  // namespace flash::bench
