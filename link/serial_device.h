#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "link/serial_input_queue.h"
#include "engine/radio_links.h"

namespace flash {

inline constexpr std::uint32_t kSerialWaitForever = 0xFFFFFFFFu;  // ms
// Input queue size when Open is given 0, like the driver's own default buffer.
inline constexpr std::uint32_t kDefaultInQueueSize = 4096;  // bytes
// Events reported from the opening on: a byte arrived, a break, a line error.
inline constexpr std::uint32_t kOpenEventMask = kEventCharArrived | kEventBreak | kEventLineError;
// Write time-outs from the opening until SetWriteTimeouts.
inline constexpr std::uint32_t kDefaultWritePerByteMs = 10;
inline constexpr std::uint32_t kDefaultWriteConstantMs = 10;
// The wait of Close for the output queue to empty: the queued bytes' wire time
// plus this margin, at most the limit.
inline constexpr auto kOutputDrainMargin = std::chrono::milliseconds{200};
inline constexpr auto kOutputDrainLimit = std::chrono::milliseconds{2000};

// A serial port on termios: the device, its settings, the input queue that the
// watcher fills, and reads and writes. Opening is exclusive: a second opening of
// the same device, in this process or another, fails as "in use".
//
// Threads: the owner's thread opens, configures, reads, writes, purges and
// closes; a watcher thread (the next layer) only moves input into the queue and
// takes the events. The queue is shared under a mutex; the settings the watcher
// reads and the result code are atomics.
class SerialDevice : public SerialLink {
 public:
  SerialDevice();
  ~SerialDevice() override;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Tries to open the device as Open does and closes it again. errorOut gets the
  // errno of a failed opening (0 when available).
  static PortAvailability CheckDevice(const std::string& deviceName, int* errorOut = nullptr);
  // CheckDevice, remembering advice for AvailabilityHint when permission was denied.
  PortAvailability CheckPortAvailable(const std::string& deviceName) override;
  std::string AvailabilityHint() const override { return hint_; }

  std::int32_t Open(const std::string& deviceName, std::uint32_t inQueueSize,
                    std::uint32_t outQueueSize) override;
  // Waits until the driver's output queue is empty, at most the time the queued
  // bytes need at the line's speed plus kOutputDrainMargin, never more than
  // kOutputDrainLimit; then discards what flow control still holds back and closes.
  std::int32_t Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  std::size_t DiscardedAtClose() const override { return discardedAtClose_; }

  std::int32_t SetLineFormat(std::uint32_t baudRate, int dataBits, int parity,
                             int stopBits) override;
  std::int32_t SetFlowControl(int kind) override;
  void SetWriteTimeouts(std::uint32_t perByteMs, std::uint32_t constantMs) override;
  std::int32_t SetEventCharacter(char character, bool addToMask) override;
  std::int32_t SetEventMask(std::uint32_t mask) override;
  virtual std::int32_t SetReadMode(int mode);
  void Purge() override;

  // ReadNonBlocking: at once, with what has arrived. ReadBlocking: until size
  // bytes have arrived or timeoutMs ran out (1460, with what did arrive).
  std::int32_t Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut) override;
  virtual std::int32_t Read(std::uint8_t* buffer, std::size_t size, std::size_t* countOut,
                            std::uint32_t timeoutMs);
  // Ends after at most perByteMs × size + constantMs (1460, with the count sent);
  // both 0 means no bound.
  std::int32_t Write(const std::uint8_t* data, std::size_t size,
                     std::size_t* countOut) override;

  // The events seen since the last call, masked with the event mask; clears them.
  std::uint32_t TakeEvents();

  std::int32_t lastError() const { return lastError_.load(); }
  std::uint32_t eventMask() const { return eventMask_.load(); }
  char eventCharacter() const { return static_cast<char>(eventCharacter_.load()); }
  int readMode() const { return readMode_.load(); }

 protected:
  enum class InputResult { Received, Nothing, DeviceGone };

  // Watcher side: moves what the device has received into the queue and notes
  // the events and line errors that came with it.
  InputResult PumpInput();
  // The line error flags noted since the last call; clears them.
  std::uint32_t TakeLineErrors();
  // Set while a watcher moves the input, so that reads only take from the queue.
  void SetWatcherPumping(bool pumping) { watcherPumping_.store(pumping); }

  int deviceFd() const { return fd_; }
  // The bytes the driver holds for the wire; -1 when it cannot tell (the device is gone).
  virtual int QueuedOutput() const;
  std::int32_t Result(std::int32_t code) {
    lastError_.store(code);
    return code;
  }

 private:
  static int OpenExclusive(const std::string& deviceName, int* errorOut);
  InputResult PumpLocked();
  // Drops the input the device holds; queue lock held.
  void DiscardDeviceInput();
  void NoteCounterChanges(std::uint32_t& events, std::uint32_t& errors);
  std::int32_t ApplyAttributes(const termios& attributes);
  void SetModemLines(int raise, int lower);
  // The bytes still queued once the wait of Close ran out; 0 when the queue emptied.
  std::size_t WaitForOutputToLeave();

  int fd_ = -1;
  std::string hint_;
  std::size_t discardedAtClose_ = 0;
  std::atomic<std::int32_t> lastError_{0};
  std::atomic<std::uint32_t> eventsSeen_{0};
  std::atomic<std::uint32_t> eventMask_{0};
  std::atomic<std::uint32_t> lineErrors_{0};
  std::atomic<int> eventCharacter_{0};
  std::atomic<int> readMode_{ReadNonBlocking};
  std::atomic<bool> watcherPumping_{false};
  std::uint32_t writePerByteMs_ = kDefaultWritePerByteMs;
  std::uint32_t writeConstantMs_ = kDefaultWriteConstantMs;

  std::mutex queueMutex_;
  std::condition_variable queueGrew_;
  SerialInputQueue queue_;

  // The driver's error counters at the last look (watcher side); only for
  // devices that keep them (real UARTs and most USB adapters, not ptys).
  bool countersKept_ = false;
  std::uint32_t framesSeen_ = 0, paritySeen_ = 0, overrunsSeen_ = 0, breaksSeen_ = 0;
};

}  // namespace flash
