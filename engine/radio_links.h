#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace flash {

// Result codes of the serial classes (the numbers the radio tools have always reported).
inline constexpr std::int32_t kResultOk = 0;
inline constexpr std::int32_t kResultInvalidHandle = 6;        // port not open
inline constexpr std::int32_t kResultAlreadyInitialised = 1247;  // Open on an open port
inline constexpr std::int32_t kResultTimeout = 1460;           // a bounded wait ran out
inline constexpr std::int32_t kResultInvalidArgument = static_cast<std::int32_t>(0x80070057u);

enum FlowControl : int { FlowNone = 0, FlowHardware = 1, FlowSoftware = 2 };
enum PortAvailability : int {
  PortAvailable = 0,
  PortNotPresent = 1,
  PortInUse = 2,
  PortUnknownError = -1
};

// Comm event bits reported by the serial link.
inline constexpr std::uint32_t kEventCharArrived = 0x0001;
inline constexpr std::uint32_t kEventFlagChar = 0x0002;  // the event character (CR) arrived
inline constexpr std::uint32_t kEventBreak = 0x0040;
inline constexpr std::uint32_t kEventLineError = 0x0080;  // framing, overrun or parity

// Line error flags reported with the serial link's events.
inline constexpr std::uint32_t kLineErrorOverrun = 0x0002;
inline constexpr std::uint32_t kLineErrorParity = 0x0004;
inline constexpr std::uint32_t kLineErrorFraming = 0x0008;
inline constexpr std::uint32_t kLineErrorBreak = 0x0010;

// What the update engine needs of the serial port. The host's event loop watches
// the real port for input and, when the event character or a line error has
// arrived, calls UpdateEngine::OnSerialEvent with the events and the line errors.
class SerialLink {
 public:
  virtual ~SerialLink() = default;

  virtual PortAvailability CheckPortAvailable(const std::string& deviceName) = 0;
  // Why the last CheckPortAvailable failed, in words a technician understands, with
  // advice where there is some: "it does not exist", "it is in use by minicom (process
  // 4242)", "you have no permission to use /dev/ttyUSB0: add your user to the group
  // ...". Empty when nothing more is known.
  virtual std::string UnavailableReason() const { return {}; }

  virtual std::int32_t Open(const std::string& deviceName, std::uint32_t inQueueSize,
                            std::uint32_t outQueueSize) = 0;
  // Waits, bounded, for the output the driver holds to leave, then closes.
  virtual std::int32_t Close() = 0;
  virtual bool IsOpen() const = 0;
  // Output bytes the last Close discarded: flow control still held them back
  // when its wait ran out.
  virtual std::size_t DiscardedAtClose() const { return 0; }

  virtual std::int32_t SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                                     int stopBits) = 0;
  virtual std::int32_t SetFlowControl(int kind) = 0;
  virtual void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) = 0;
  virtual std::int32_t SetEventCharacter(char character, bool addToMask) = 0;
  virtual std::int32_t SetEventMask(std::uint32_t mask) = 0;
  virtual void Purge() = 0;

  // Non-blocking: returns at once with what has arrived (at most size bytes).
  virtual std::int32_t Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) = 0;
  // Bounded by the write time-outs.
  virtual std::int32_t Write(const std::uint8_t* data, std::size_t size,
                             std::size_t* countOut) = 0;
};

// What the update engine needs of the UDP socket. The host's event loop watches
// the socket and calls UpdateEngine::OnUdpReadable when a datagram can be read.
class UdpLink {
 public:
  virtual ~UdpLink() = default;

  // Creates an IPv4 datagram socket bound to localPort on all local addresses.
  // Returns 0, or the socket layer's error code (a socket whose binding failed is closed).
  virtual std::int32_t Create(int localPort) = 0;
  virtual bool HasSocket() const = 0;
  // Dotted IPv4 address, or a host name whose first IPv4 address is used.
  virtual std::int32_t Connect(const std::string& address, int port) = 0;
  // One datagram to the connected address and port.
  virtual std::int32_t Send(const std::uint8_t* data, std::size_t size) = 0;
  // One datagram: returns its length (> 0), 0 when nothing could be read (would
  // block, or an empty datagram), -1 on an error (code in *error).
  virtual std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity,
                               std::int32_t* error) = 0;
  virtual void Close() = 0;
};

}  // namespace flash
