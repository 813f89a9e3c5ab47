#include "app/status_panes.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace flash {
namespace {

constexpr int kTopBorder = 2;  // pixels: the bar's border along its top edge

}  // namespace

StatusPanes::StatusPanes(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("statusBar"));
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("pane%1").arg(i));
    label->setIndent(3);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (i > 0) {
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setLineWidth(1);
    }
    panes_[static_cast<std::size_t>(i)] = label;
  }
  panes_[0]->setText(QStringLiteral(" "));
  setFixedHeight(barHeight());
}

int StatusPanes::barHeight() const { return fontMetrics().height() + 6 + kTopBorder; }

void StatusPanes::SetPaneText(int index, const QString& text) {
  if (index < 0 || index > 2) return;
  panes_[static_cast<std::size_t>(index)]->setText(text);
}

QString StatusPanes::paneText(int index) const {
  if (index < 0 || index > 2) return {};
  return panes_[static_cast<std::size_t>(index)]->text();
}

void StatusPanes::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void StatusPanes::Arrange() {
  const int top = kTopBorder;
  const int height = this->height() - kTopBorder - 1;
  const int stretch = std::max(0, width() - 2 * kFixedPaneWidth - 2 * kPaneGap);
  panes_[0]->setGeometry(0, top, stretch, height);
  int x = stretch + kPaneGap;
  for (int i = 1; i <= 2; ++i) {
    panes_[static_cast<std::size_t>(i)]->setGeometry(x, top, kFixedPaneWidth, height);
    x += kFixedPaneWidth + kPaneGap;
  }
}

void StatusPanes::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Window));
  p.setPen(palette().color(QPalette::Mid));
  p.drawLine(0, 0, width(), 0);
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(0, 1, width(), 1);
}

}  // namespace flash
