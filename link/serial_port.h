#pragma once

#include <cstdint>
#include <string>

#include "link/serial_notifier.h"
#include "link/serial_notify_target.h"

namespace flash {

// The program's serial port, as the update engine sees it (SerialLink). The
// port object outlives many windows and operations, so the receiver of its
// notifications is set on it once, before the first Open.
class SerialPort final : public SerialNotifier {
 public:
  SerialPort() = default;
  ~SerialPort() override;

  // Where the notifications of every later Open go; message 0 means
  // kSerialNotifyDefaultMessage. Call while the port is closed.
  void SetNotifyTarget(SerialNotifyTarget* target, std::uint32_t message = 0,
                       std::intptr_t userValue = 0);

  using SerialNotifier::Open;
  // Opens the port with the watcher running and posting to the notify target.
  std::int32_t Open(const std::string& deviceName, std::uint32_t inQueueSize,
                    std::uint32_t outQueueSize) override;

 private:
  SerialNotifyTarget* notifyTarget_ = nullptr;
  std::uint32_t notifyMessage_ = 0;
  std::intptr_t notifyUserValue_ = 0;
};

}  // namespace flash
