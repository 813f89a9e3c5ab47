#include "app/first_paint_exit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace flash {

FirstPaintExit::FirstPaintExit(std::function<void()> close, QObject* parent)
    : QObject(parent), close_(std::move(close)) {
  QCoreApplication::instance()->installEventFilter(this);
}

FirstPaintExit::~FirstPaintExit() {
  if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool FirstPaintExit::Requested() { return !qEnvironmentVariableIsEmpty(kExitAfterFirstPaintVariable); }

bool FirstPaintExit::eventFilter(QObject* watched, QEvent* event) {
  if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
    seen_ = true;
    QCoreApplication::instance()->removeEventFilter(this);
    // Queued, so that the paint under way (and the rest of its window) is finished first.
    QTimer::singleShot(0, this, [this] {
      std::fputs("flash-update: first paint\n", stdout);
      std::fflush(stdout);
      close_();
    });
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace flash
