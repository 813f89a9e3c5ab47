#include "link/serial_notifier.h"

namespace flash {

SerialNotifier::~SerialNotifier() { SerialNotifier::Close(); }

std::int32_t SerialNotifier::Open(const std::string& deviceName, SerialNotifyTarget* target,
                                  std::uint32_t message, std::intptr_t userValue,
                                  std::uint32_t inQueueSize, std::uint32_t outQueueSize) {
  const std::int32_t result = SerialWatcher::Open(deviceName, inQueueSize, outQueueSize);
  if (result != 0) return result;
  target_.store(target);
  message_.store(message != 0 ? message : kSerialNotifyDefaultMessage);
  userValue_.store(userValue);
  const std::int32_t started = StartWatcher();
  if (started != 0) {
    Close();
    return Result(started);
  }
  return Result(0);
}

std::int32_t SerialNotifier::Close() {
  target_.store(nullptr);
  message_.store(0);
  return SerialWatcher::Close();
}

void SerialNotifier::OnCommEvent(std::uint32_t events, std::uint32_t errors) {
  SerialNotifyTarget* target = target_.load();
  if (target == nullptr) return;
  target->PostSerialNotify(message_.load(), (errors << 16) | (events & 0xFFFFu),
                           userValue_.load());
}

}  // namespace flash
