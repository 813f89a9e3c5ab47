#include "app/client_area.h"

#include <QPaintEvent>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QPainter>
#include <QPlainTextEdit>

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
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(outputPane, 1);
  // Holds the status bar at the bottom while the output pane is still hidden.
  column->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
  column->addWidget(statusBar, 0);
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
  update();
}

}  // namespace flash
