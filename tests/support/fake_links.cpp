#include "tests/support/fake_links.h"

#include <algorithm>
#include <cstring>

namespace flash::test {

PortAvailability FakeSerialLink::CheckPortAvailable(const std::string& deviceName) {
  calls.push_back("CheckPortAvailable " + deviceName);
  return availability;
}

std::int32_t FakeSerialLink::Open(const std::string& deviceName, std::uint32_t inQueueSize,
                                  std::uint32_t outQueueSize) {
  calls.push_back("Open " + deviceName + " " + std::to_string(inQueueSize) + " " +
                  std::to_string(outQueueSize));
  if (open) return kResultAlreadyInitialised;
  open = true;
  openedDevice = deviceName;
  return kResultOk;
}

std::int32_t FakeSerialLink::Close() {
  calls.push_back("Close");
  open = false;
  return kResultOk;
}

std::int32_t FakeSerialLink::SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                                           int stopBits) {
  calls.push_back("SetLineFormat " + std::to_string(baudRate) + " " + std::to_string(dataBits) +
                  " " + std::to_string(parity) + " " + std::to_string(stopBits));
  return open ? kResultOk : kResultInvalidHandle;
}

std::int32_t FakeSerialLink::SetFlowControl(int kind) {
  calls.push_back("SetFlowControl " + std::to_string(kind));
  return open ? kResultOk : kResultInvalidHandle;
}

void FakeSerialLink::SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) {
  calls.push_back("SetWriteTimeouts " + std::to_string(perByteMs) + " " +
                  std::to_string(constantMs));
}

std::int32_t FakeSerialLink::SetEventCharacter(char character, bool addToMask) {
  calls.push_back("SetEventCharacter " + std::to_string(character) + (addToMask ? " add" : ""));
  return kResultOk;
}

std::int32_t FakeSerialLink::SetEventMask(std::uint32_t mask) {
  calls.push_back("SetEventMask " + std::to_string(mask));
  return kResultOk;
}

void FakeSerialLink::Purge() {
  calls.push_back("Purge");
  ++purges;
  input.clear();
}

std::int32_t FakeSerialLink::Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) {
  const std::size_t n = std::min(size, input.size());
  std::memcpy(buffer, input.data(), n);
  input.erase(0, n);
  if (countOut != nullptr) *countOut = n;
  return open ? kResultOk : kResultInvalidHandle;
}

std::int32_t FakeSerialLink::Write(const std::uint8_t* data, std::size_t size,
                                   std::size_t* countOut) {
  if (countOut != nullptr) *countOut = 0;
  if (!open) return kResultInvalidHandle;
  writes.emplace_back(reinterpret_cast<const char*>(data), size);
  if (countOut != nullptr) *countOut = size;
  return kResultOk;
}

std::int32_t FakeUdpLink::Create(int localPort) {
  ++creates;
  if (createError != 0) return createError;
  hasSocket = true;
  boundPort = localPort;
  return 0;
}

std::int32_t FakeUdpLink::Connect(const std::string& address, int port) {
  connects.push_back(address + ":" + std::to_string(port));
  return hasSocket ? 0 : 10038;
}

std::int32_t FakeUdpLink::Send(const std::uint8_t* data, std::size_t size) {
  if (!hasSocket) return -1;
  datagrams.emplace_back(reinterpret_cast<const char*>(data), size);
  return static_cast<std::int32_t>(size);
}

std::int32_t FakeUdpLink::Receive(std::uint8_t* buffer, std::size_t capacity,
                                  std::int32_t* error) {
  if (receiveError != 0) {
    *error = receiveError;
    receiveError = 0;
    return -1;
  }
  if (incoming.empty()) return 0;
  std::string datagram = incoming.front();
  incoming.erase(incoming.begin());
  const std::size_t n = std::min(capacity, datagram.size());
  std::memcpy(buffer, datagram.data(), n);
  return static_cast<std::int32_t>(n);
}

void FakeUdpLink::Close() {
  ++closes;
  hasSocket = false;
}

}  // namespace flash::test
