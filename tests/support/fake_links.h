#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/radio_links.h"

namespace flash::test {

// A serial port that records what the engine asks of it; tests put answers in input.
class FakeSerialLink : public SerialLink {
 public:
  PortAvailability CheckPortAvailable(const std::string& deviceName) override;
  std::string AvailabilityHint() const override { return hint; }
  std::int32_t Open(const std::string& deviceName, std::uint32_t inQueueSize,
                    std::uint32_t outQueueSize) override;
  std::int32_t Close() override;
  bool IsOpen() const override { return open; }
  std::size_t DiscardedAtClose() const override { return discardedAtClose; }
  std::int32_t SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                             int stopBits) override;
  std::int32_t SetFlowControl(int kind) override;
  void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) override;
  std::int32_t SetEventCharacter(char character, bool addToMask) override;
  std::int32_t SetEventMask(std::uint32_t mask) override;
  void Purge() override;
  std::int32_t Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) override;
  std::int32_t Write(const std::uint8_t* data, std::size_t size, std::size_t* countOut) override;

  PortAvailability availability = PortAvailable;
  std::string hint;
  bool open = false;
  std::string openedDevice;
  std::vector<std::string> calls;   // configuration calls, in order
  std::vector<std::string> writes;  // one entry per Write
  std::string input;                // bytes waiting to be read
  int purges = 0;
  std::size_t discardedAtClose = 0;  // what each Close reports it discarded
};

// A UDP socket that records datagrams; tests put received datagrams in incoming.
class FakeUdpLink : public UdpLink {
 public:
  std::int32_t Create(int localPort) override;
  bool HasSocket() const override { return hasSocket; }
  std::int32_t Connect(const std::string& address, int port) override;
  std::int32_t Send(const std::uint8_t* data, std::size_t size) override;
  std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity, std::int32_t* error) override;
  void Close() override;

  std::int32_t createError = 0;
  bool hasSocket = false;
  int creates = 0;
  int closes = 0;
  int boundPort = 0;
  std::vector<std::string> connects;  // "address:port"
  std::vector<std::string> datagrams;
  std::vector<std::string> incoming;
  std::int32_t receiveError = 0;  // when set, the next Receive fails with it
};

}  // namespace flash::test
