#include "link/serial_port.h"

namespace flash {

SerialPort::~SerialPort() { SerialNotifier::Close(); }

void SerialPort::SetNotifyTarget(SerialNotifyTarget* target, std::uint32_t message,
                                 std::intptr_t userValue) {
  notifyTarget_ = target;
  notifyMessage_ = message;
  notifyUserValue_ = userValue;
}

std::int32_t SerialPort::Open(const std::string& deviceName, std::uint32_t inQueueSize,
                              std::uint32_t outQueueSize) {
  return SerialNotifier::Open(deviceName, notifyTarget_, notifyMessage_, notifyUserValue_,
                              inQueueSize, outQueueSize);
}

}  // namespace flash
