#include "app/client_area.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>

#include <algorithm>

#include "app/status_panes.h"

namespace flash {

ClientArea::ClientArea(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("clientArea"));
  // The whole area is drawn again on every size change, so the picture stays centred.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::SetChildren(QPlainTextEdit* outputPane, StatusPanes* statusBar) {
  outputPane_ = outputPane;
  statusBar_ = statusBar;
  Arrange();
}

void ClientArea::SetSplash(const QImage& picture) {
  splash_ = picture;
  splashShown_ = true;
  update();
}

void ClientArea::HideSplash() {
  if (!splashShown_) return;
  splashShown_ = false;
  update();
}

QPoint ClientArea::SplashOrigin() const {
  // Integer division truncates toward zero, also for the negative halves of a small area.
  return QPoint((width() - splash_.width()) / 2, (height() - splash_.height()) / 2);
}

void ClientArea::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(event->rect(), palette().color(QPalette::Base));
  if (splashShown_ && !splash_.isNull()) p.drawImage(SplashOrigin(), splash_);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
  update();
}

void ClientArea::Arrange() {
  const int barHeight = statusBar_ ? statusBar_->height() : 0;
  if (statusBar_) statusBar_->setGeometry(0, height() - barHeight, width(), barHeight);
  if (outputPane_) outputPane_->setGeometry(0, 0, width(), std::max(0, height() - barHeight));
}

}  // namespace flash
