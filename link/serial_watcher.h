#pragma once

#include <cstdint>
#include <string>
#include <thread>

#include "link/serial_device.h"

namespace flash {

// Adds the watcher thread: it waits for input and for its stop event, moves the
// input into the queue and hands each batch of events (masked with the event
// mask) with the line errors that came with it to OnCommEvent.
class SerialWatcher : public SerialDevice {
 public:
  SerialWatcher() = default;
  ~SerialWatcher() override;

  // Opens the device and makes the stop event; the watcher is not started here.
  std::int32_t Open(const std::string& deviceName, std::uint32_t inQueueSize,
                    std::uint32_t outQueueSize) override;
  // Stops the watcher (waiting for it, so it never sees a closed descriptor),
  // then closes the device.
  std::int32_t Close() override;

  // Starts the watcher when none runs; the thread library's error when it cannot.
  virtual std::int32_t StartWatcher();
  // Asks the watcher to end and waits for it; it ends at once, input or not.
  virtual std::int32_t StopWatcher();
  bool WatcherRunning() const { return watcher_.joinable(); }
  // The device's descriptor while the watcher runs, else -1. An event loop may
  // poll it for input and then call ServiceInput, so that the answer is handled
  // as soon as the loop's thread wakes, not after the watcher thread has woken
  // too and posted. Only for polling: reads go through ServiceInput.
  int InputWakeFd() const { return watcher_.joinable() ? deviceFd() : -1; }
  // Does on the calling thread what the watcher does when input arrives: moves
  // it into the queue and hands its events to OnCommEvent. Safe next to the
  // watcher: whichever thread comes first moves the input, the other finds
  // none, and each event is handed on once. False when the device is gone.
  bool ServiceInput();

 protected:
  // Called on the watcher thread for every batch of events that is not 0:
  // events in the low 16 bits, line error flags to go in the high 16 bits.
  virtual void OnCommEvent(std::uint32_t events, std::uint32_t errors) = 0;

 private:
  void WatcherLoop();

  int stopFd_ = -1;  // eventfd: readable once a stop was asked
  std::thread watcher_;
};

}  // namespace flash
