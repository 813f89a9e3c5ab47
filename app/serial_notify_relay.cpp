#include "app/serial_notify_relay.h"

#include <QCoreApplication>
#include <QObject>

namespace flash {

QEvent::Type SerialNotifyEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

SerialNotifyEvent::SerialNotifyEvent(std::uint32_t firstParam)
    : QEvent(Type()), firstParam_(firstParam) {}

void SerialNotifyRelay::Attach(QObject* window) {
  std::lock_guard lock(mutex_);
  window_ = window;
}

void SerialNotifyRelay::Detach() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
}

void SerialNotifyRelay::PostSerialNotify(std::uint32_t, std::uint32_t firstParam, std::intptr_t) {
  // Posting under the lock keeps Detach from returning while an event is on its way.
  std::lock_guard lock(mutex_);
  if (window_) QCoreApplication::postEvent(window_, new SerialNotifyEvent(firstParam));
}

}  // namespace flash
