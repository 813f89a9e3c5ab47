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

  // For a program whose own event loop waits for the input (the headless tool):
  // later openings start no watcher thread; the loop polls InputWakeFd() and
  // calls ServiceInput(), which does what the watcher would, on the loop's
  // thread. An answer then waits for one thread wake-up, not for the watcher's
  // and then the loop's. As with a watcher, reads then take only from the
  // queue, so a blocking read waits for the loop's next ServiceInput. Call
  // while the device is closed.
  void LeaveInputToCaller(bool leave) { inputLeftToCaller_ = leave; }
  // The device's descriptor while it is open and its input is left to the
  // caller, else -1. Only for polling: reads go through ServiceInput.
  int InputWakeFd() const { return inputLeftToCaller_ && IsOpen() ? deviceFd() : -1; }
  // Moves what the device has received into the queue and hands its events to
  // OnCommEvent, on the calling thread. Safe next to a running watcher (the
  // queue's lock orders them). False, with lastError EIO, once the device is gone.
  bool ServiceInput();

 protected:
  // Called on the watcher thread for every batch of events that is not 0:
  // events in the low 16 bits, line error flags to go in the high 16 bits.
  virtual void OnCommEvent(std::uint32_t events, std::uint32_t errors) = 0;

 private:
  void WatcherLoop();
  // Moves the input into the queue and hands the events it brought to OnCommEvent.
  InputResult MoveInputAndReport();

  int stopFd_ = -1;  // eventfd: readable once a stop was asked
  bool inputLeftToCaller_ = false;
  std::thread watcher_;
};

}  // namespace flash
