#include "app/status_panes.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>

#include <algorithm>

namespace flash {
namespace {

constexpr int kIndent = 3;  // pixels between a pane's edge and its text

QString Duration(qint64 ms) {
  const qint64 seconds = ms / 1000;
  return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// A failure reads as red in light and dark themes alike: darker on a light window,
// lighter on a dark one, so that it stands out against both.
QColor FailureColour(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() > 128 ? QColor(192, 32, 40)
                                                           : QColor(229, 72, 68);
}

}  // namespace

PaneLabel::PaneLabel(QWidget* parent, bool sunken) : QFrame(parent) {
  if (sunken) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
  }
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void PaneLabel::setText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  updateGeometry();
  FollowElision();
  update();
}

bool PaneLabel::elided() const {
  return fontMetrics().horizontalAdvance(text_) > contentsRect().width() - 2 * kIndent;
}

QSize PaneLabel::sizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int text = std::max(fm.horizontalAdvance(text_), nominalChars_ * fm.averageCharWidth());
  return {text + 2 * kIndent + 2 * frameWidth(), fm.height() + 4 + 2 * frameWidth()};
}

QSize PaneLabel::minimumSizeHint() const {
  const QFontMetrics fm = fontMetrics();
  const int least = text_.isEmpty() ? 0 : fm.horizontalAdvance(QString(QChar(0x2026)));
  return {least + 2 * kIndent + 2 * frameWidth(), sizeHint().height()};
}

void PaneLabel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter p(this);
  const QRect room = contentsRect().adjusted(kIndent, 0, -kIndent, 0);
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                           QPalette::WindowText));
  p.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
             fontMetrics().elidedText(text_, Qt::ElideRight, room.width()));
}

void PaneLabel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  FollowElision();
}

void PaneLabel::FollowElision() { setToolTip(elided() ? text_ : QString()); }

StatusPanes::StatusPanes(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("statusBar"));
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 3, 0, 1);  // the border along the top edge
  row->setSpacing(2);
  for (int i = 0; i < 3; ++i) {
    auto* label = new PaneLabel(this, i > 0);
    label->setObjectName(QStringLiteral("pane%1").arg(i));
    panes_[static_cast<std::size_t>(i)] = label;
  }
  // Pane 0 takes what the others leave; in a narrow window it gives way with
  // panes 1 and 2, never the bar.
  panes_[0]->setNominalChars(44);  // a resend notice
  panes_[1]->setNominalChars(16);
  panes_[2]->setNominalChars(16);
  panes_[0]->setText(QStringLiteral(" "));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextVisible(true);
  progress_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  progress_->hide();
  row->addWidget(panes_[0], 1);
  row->addWidget(progress_, 0);
  row->addWidget(panes_[1], 0);
  row->addWidget(panes_[2], 0);
  SetBarText(QString());
}

PaneLabel* StatusPanes::pane(int index) const {
  if (index < 0 || index > 2) return nullptr;
  return panes_[static_cast<std::size_t>(index)];
}

void StatusPanes::SetPaneText(int index, const QString& text) {
  if (index < 0 || index > 2) return;
  if (index == 0) {
    linesText_ = text;
    ShowPane0();
    return;
  }
  panes_[static_cast<std::size_t>(index)]->setText(text);
}

QString StatusPanes::paneText(int index) const {
  if (index < 0 || index > 2) return {};
  return panes_[static_cast<std::size_t>(index)]->text();
}

void StatusPanes::ShowPane0() {
  panes_[0]->setText(silenceNotice_.isEmpty() ? linesText_ : silenceNotice_);
}

void StatusPanes::SetBarText(const QString& text) {
  progress_->setFormat(text);
  // Room for the text of a running bar and for the text shown now, whichever is wider.
  const QFontMetrics fm = progress_->fontMetrics();
  const int textWidth = std::max(fm.horizontalAdvance(QStringLiteral("100%   00:00 spent, 00:00 left")),
                                  fm.horizontalAdvance(progress_->text()));
  const int frame = 2 * progress_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, progress_);
  progress_->setMinimumWidth(textWidth + frame + 2 * fm.averageCharWidth());
}

void StatusPanes::ShowProgress(int done, int total, qint64 elapsedMs) {
  // Lines that do not count (directives) may take the count past the total.
  done = std::clamp(done, 0, std::max(total, 0));
  if (done > lastDone_) {
    if (!silenceSinceLast_) {
      paceMs_ += elapsedMs - lastMs_;
      paceLines_ += done - lastDone_;
    }
    lastDone_ = done;
    lastMs_ = elapsedMs;
    silenceSinceLast_ = false;
  }
  progress_->setRange(0, total > 0 ? total : 1);
  progress_->setValue(total > 0 ? done : 0);
  QString text = QStringLiteral("%p%   ") + Duration(elapsedMs) + QStringLiteral(" spent");
  if (paceLines_ > 0 && total > done) {
    text += QStringLiteral(", ") + Duration(paceMs_ * (total - done) / paceLines_) +
            QStringLiteral(" left");
  }
  SetBarText(text);
  progress_->show();
}

void StatusPanes::ShowSilence(const QString& notice) {
  silenceSinceLast_ = true;
  silenceNotice_ = notice;
  ShowPane0();
}

void StatusPanes::EndSilence() {
  if (silenceNotice_.isEmpty()) return;
  silenceNotice_.clear();
  ShowPane0();
}

void StatusPanes::ShowComplete() {
  if (progress_->isHidden()) return;
  progress_->setValue(progress_->maximum());
  SetBarText(QStringLiteral("%p%"));
}

void StatusPanes::EndProgress(const QString& state, End end) {
  EndSilence();
  // Only the roles set here; the rest follows the theme.
  QPalette look;
  if (end == End::Complete) progress_->setValue(progress_->maximum());
  if (end == End::Failed) {
    look.setColor(QPalette::Highlight, FailureColour(palette()));
    look.setColor(QPalette::HighlightedText, Qt::white);
  } else if (end == End::Stopped) {
    look.setColor(QPalette::Highlight, palette().color(QPalette::Mid));
  }
  progress_->setPalette(look);
  SetBarText(state);
}

void StatusPanes::ResetProgress() {
  progress_->setPalette(QPalette());
  progress_->setRange(0, 1);
  progress_->setValue(0);
  SetBarText(QString());
  silenceNotice_.clear();
  lastDone_ = 0;
  lastMs_ = 0;
  paceMs_ = 0;
  paceLines_ = 0;
  silenceSinceLast_ = false;
}

QSize StatusPanes::sizeHint() const {
  QSize hint = QWidget::sizeHint();
  if (progress_->isHidden()) hint.rwidth() += progress_->minimumWidth() + layout()->spacing();
  return hint;
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
