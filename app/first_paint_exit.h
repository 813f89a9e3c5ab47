#pragma once

#include <QObject>

#include <functional>

namespace flash {

// The variable that asks the program to end after its first paint, so that its
// start-up time and memory can be measured from outside (scripts/bench).
inline constexpr char kExitAfterFirstPaintVariable[] = "FLASH_UPDATE_EXIT_AFTER_FIRST_PAINT";

// Watches the application's events for the first paint of any widget; once that
// paint is done it prints "flash-update: first paint" on standard output and
// calls close (which ends the program through its normal exit).
class FirstPaintExit : public QObject {
  Q_OBJECT
 public:
  explicit FirstPaintExit(std::function<void()> close, QObject* parent = nullptr);
  ~FirstPaintExit() override;

  // True when the environment asks for it.
  static bool Requested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> close_;
  bool seen_ = false;
};

}  // namespace flash
