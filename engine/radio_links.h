#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace flash {

// What a call to a link came to. The system's error number is kept apart from the
// status: two failures of one kind (a port that is gone, a port never opened) still
// tell their own reason.
enum class LinkStatus {
  Ok,
  NotOpen,          // the port or socket is not open
  NotPresent,       // the device is not there (unplugged, no such name)
  Busy,             // another program holds it, or Open on a port already open
  NoPermission,
  InvalidArgument,  // a setting the link does not take, an address that does not resolve
  TimedOut,         // a bounded wait ran out
  SystemError,      // any other failure of the system call
};

struct LinkResult {
  LinkStatus status = LinkStatus::Ok;
  int systemError = 0;  // errno of the call that failed; 0 when none

  bool ok() const { return status == LinkStatus::Ok; }
  friend bool operator==(const LinkResult&, const LinkResult&) = default;
};

inline constexpr LinkResult kLinkOk{};

// The status of a system call's errno (0 is Ok), the errno kept with it.
inline LinkResult LinkResultOf(int error) {
  switch (error) {
    case 0:
      return {};
    case EBADF:
      return {LinkStatus::NotOpen, error};
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return {LinkStatus::NotPresent, error};
    case EBUSY:
    case EADDRINUSE:
      return {LinkStatus::Busy, error};
    case EACCES:
    case EPERM:
      return {LinkStatus::NoPermission, error};
    case EINVAL:
      return {LinkStatus::InvalidArgument, error};
    case ETIMEDOUT:
      return {LinkStatus::TimedOut, error};
    default:
      return {LinkStatus::SystemError, error};
  }
}

// The reason in words: the system's own for an errno, else the status's.
inline std::string LinkResultText(const LinkResult& result) {
  if (result.systemError != 0) return std::strerror(result.systemError);
  switch (result.status) {
    case LinkStatus::Ok: return "no error";
    case LinkStatus::NotOpen: return "the link is not open";
    case LinkStatus::NotPresent: return "the device is not present";
    case LinkStatus::Busy: return "it is already in use";
    case LinkStatus::NoPermission: return "permission denied";
    case LinkStatus::InvalidArgument: return "invalid argument";
    case LinkStatus::TimedOut: return "it did not finish in the time allowed";
    case LinkStatus::SystemError: break;
  }
  return "an unknown error";
}

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

  virtual LinkResult Open(const std::string& deviceName, std::uint32_t inQueueSize,
                          std::uint32_t outQueueSize) = 0;
  // Waits, bounded, for the output the driver holds to leave, then closes.
  virtual LinkResult Close() = 0;
  virtual bool IsOpen() const = 0;
  // Output bytes the last Close discarded: flow control still held them back
  // when its wait ran out.
  virtual std::size_t DiscardedAtClose() const { return 0; }

  virtual LinkResult SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                                   int stopBits) = 0;
  virtual LinkResult SetFlowControl(int kind) = 0;
  virtual void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) = 0;
  virtual LinkResult SetEventCharacter(char character, bool addToMask) = 0;
  virtual LinkResult SetEventMask(std::uint32_t mask) = 0;
  virtual void Purge() = 0;

  // Non-blocking: returns at once with what has arrived (at most size bytes).
  virtual LinkResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) = 0;
  // Bounded by the write time-outs.
  virtual LinkResult Write(const std::uint8_t* data, std::size_t size,
                           std::size_t* countOut) = 0;
};

// What the update engine needs of the UDP socket. The host's event loop watches
// the socket and calls UpdateEngine::OnUdpReadable when a datagram can be read.
class UdpLink {
 public:
  virtual ~UdpLink() = default;

  // Creates an IPv4 datagram socket bound to localPort on all local addresses.
  // A socket whose binding failed is closed again.
  virtual LinkResult Create(int localPort) = 0;
  virtual bool HasSocket() const = 0;
  // Dotted IPv4 address, or a host name whose first IPv4 address is used.
  virtual LinkResult Connect(const std::string& address, int port) = 0;
  // One datagram to the connected address and port.
  virtual LinkResult Send(const std::uint8_t* data, std::size_t size) = 0;
  // One datagram: its length in *countOut, 0 when nothing could be read (nothing
  // waits, or an empty datagram); a failure leaves *countOut 0.
  virtual LinkResult Receive(std::uint8_t* buffer, std::size_t capacity,
                             std::size_t* countOut) = 0;
  virtual void Close() = 0;
};

}  // namespace flash
