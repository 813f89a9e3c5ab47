#pragma once

#include <QEvent>

#include <cstdint>
#include <mutex>

#include "link/serial_notify_target.h"

class QObject;

namespace flash {

inline constexpr const char* kSerialNotifyMessageName = "SerialNotify_DefaultComMsg";

// The serial link's notification as it travels through the window's event queue.
class SerialNotifyEvent : public QEvent {
 public:
  // The event type registered for "SerialNotify_DefaultComMsg", the same for the whole run.
  static QEvent::Type Type();

  explicit SerialNotifyEvent(std::uint32_t firstParam);
  std::uint32_t events() const { return firstParam_ & 0xFFFFu; }
  std::uint32_t errors() const { return firstParam_ >> 16; }

 private:
  std::uint32_t firstParam_;
};

// Carries the watcher thread's notifications to the main window. It lives as long
// as the serial port, so a watcher that outlives the window posts into nothing
// instead of into a destroyed window.
class SerialNotifyRelay final : public SerialNotifyTarget {
 public:
  void Attach(QObject* window);
  void Detach();

  // Watcher thread: only queues the event for the window's thread.
  void PostSerialNotify(std::uint32_t message, std::uint32_t firstParam,
                        std::intptr_t userValue) override;

 private:
  std::mutex mutex_;
  QObject* window_ = nullptr;
};

}  // namespace flash
