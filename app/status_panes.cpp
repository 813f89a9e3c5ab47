#include "app/status_panes.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <algorithm>

namespace flash {
namespace {

constexpr int kTopBorder = 2;  // pixels: the bar's border along its top edge
constexpr int kProgressWidth = 320;  // pixels at most, taken from pane 0

QString Duration(qint64 ms) {
  const qint64 seconds = ms / 1000;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

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
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextVisible(true);
  progress_->hide();
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

void StatusPanes::ShowProgress(int done, int total, qint64 elapsedMs) {
  progress_->setRange(0, total > 0 ? total : 1);
  progress_->setValue(total > 0 ? done : 0);
  QString text = QStringLiteral("%p%   ") + Duration(elapsedMs) + QStringLiteral(" spent");
  // Lines go at an even pace, so the rate so far is a fair guess of the rest.
  if (done > 0 && total > done) {
    text += QStringLiteral(", ") + Duration(elapsedMs * (total - done) / done) +
            QStringLiteral(" left");
  }
  progress_->setFormat(text);
  if (progress_->isHidden()) {
    progress_->show();
    Arrange();
  }
}

void StatusPanes::EndProgress(const QString& state, bool complete) {
  if (complete) progress_->setValue(progress_->maximum());
  progress_->setFormat(state);
}

void StatusPanes::ResetProgress() {
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat(QString());
}

void StatusPanes::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Arrange();
}

void StatusPanes::Arrange() {
  const int top = kTopBorder;
  const int height = this->height() - kTopBorder - 1;
  const int stretch = std::max(0, width() - 2 * kFixedPaneWidth - 2 * kPaneGap);
  // The lines text keeps the room it needs; the bar takes what is left of pane 0.
  const int textRoom =
      fontMetrics().horizontalAdvance(QStringLiteral("00000 of 00000 Lines Processed")) + 12;
  const int bar = progress_->isHidden() ? 0 : std::clamp(stretch - textRoom, 0, kProgressWidth);
  panes_[0]->setGeometry(0, top, stretch - bar, height);
  progress_->setGeometry(stretch - bar, top, bar, height);
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
