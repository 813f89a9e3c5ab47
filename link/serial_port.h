#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/serial_input_pump.h"
#include "link/serial_input_queue.h"
#include "engine/radio_links.h"

namespace flash {

// Input queue size when Open is given 0, like the driver's own default buffer.
inline constexpr std::uint32_t kDefaultInQueueSize = 4096;  // bytes
// Events reported from the opening on: a byte arrived, a break, a line error.
inline constexpr std::uint32_t kOpenEventMask = kEventCharArrived | kEventBreak | kEventLineError;
// Write time-outs from the opening until SetWriteTimeouts.
inline constexpr std::uint32_t kDefaultWritePerByteMs = 10;
inline constexpr std::uint32_t kDefaultWriteConstantMs = 10;

// The program's serial port, on termios. Opening is exclusive: a second opening
// of the same device, in this process or another, fails as "in use".
//
// The port has no thread of its own. The front end's event loop watches
// InputFd() for input and calls ServiceInput(), which moves the input into the
// port's queue and answers the events it brought; the loop hands them to
// UpdateEngine::OnSerialEvent, whose reads take from the queue.
class SerialPort final : public SerialLink {
 public:
  // What ServiceInput found.
  struct Input {
    std::uint32_t events = 0;  // masked with the event mask
    std::uint32_t errors = 0;  // the line error flags that came with them
    bool deviceGone = false;   // the loop should stop watching until the next opening
  };

  SerialPort();
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Told the descriptor to watch when the port opens, and -1 just before it
  // closes, on the thread that opens and closes it: an event loop that follows
  // it never watches a closed descriptor.
  void SetInputFdListener(std::function<void(int fd)> listener) { listener_ = std::move(listener); }
  // The descriptor to watch for input while the port is open, else -1.
  int InputFd() const { return fd_; }
  Input ServiceInput();

  // Tries to open the device as Open does and closes it again; remembers why it
  // failed for UnavailableReason.
  PortAvailability CheckPortAvailable(const std::string& deviceName) override;
  std::string UnavailableReason() const override { return reason_; }

  LinkResult Open(const std::string& deviceName, std::uint32_t inQueueSize,
                  std::uint32_t outQueueSize) override;
  // Waits, bounded (serial_output_drain.h), for the output queue to empty; then
  // discards what flow control still holds back and closes.
  LinkResult Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::size_t DiscardedAtClose() const override { return discardedAtClose_; }

  LinkResult SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                           int stopBits) override;
  LinkResult SetFlowControl(int kind) override;
  void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) override;
  LinkResult SetEventCharacter(char character, bool addToMask) override;
  LinkResult SetEventMask(std::uint32_t mask) override;
  void Purge() override;

  // At once, with what ServiceInput has moved in.
  LinkResult Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) override;
  // Ends after at most perByteMs × size + constantMs (TimedOut, with the count
  // sent); both 0 means no bound.
  LinkResult Write(const std::uint8_t* data, std::size_t size,
                   std::size_t* countOut) override;

 private:
  LinkResult ApplyAttributes(const termios& attributes);
  void SetModemLines(int raise, int lower);

  int fd_ = -1;
  std::string reason_;
  std::size_t discardedAtClose_ = 0;
  std::uint32_t eventMask_ = 0;
  std::uint32_t writePerByteMs_ = kDefaultWritePerByteMs;
  std::uint32_t writeConstantMs_ = kDefaultWriteConstantMs;
  SerialInputQueue queue_;
  SerialInputPump pump_;
  std::function<void(int fd)> listener_;
};

}  // namespace flash
