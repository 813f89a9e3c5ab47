#include "app/dialog_look.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

namespace flash {
namespace {

// What a dialog may take of the screen it opens on, its frame and title bar aside.
QSize RoomOnScreen(const QWidget& dialog) {
  const QScreen* screen = dialog.parentWidget() ? dialog.parentWidget()->screen() : dialog.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
  const int frame = dialog.fontMetrics().height();
  return screen->availableGeometry().size() - QSize(frame, 3 * frame);
}

// Sizes the dialog as it is shown, from the hints of its polished controls, and
// within the screen (the toolkit's own sizing would keep it to two thirds of it).
class FitOnShow : public QObject {
 public:
  explicit FitOnShow(QWidget* dialog) : QObject(dialog) { dialog->installEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched == parent()) {
      auto* dialog = static_cast<QWidget*>(watched);
      dialog->resize(dialog->sizeHint().boundedTo(RoomOnScreen(*dialog)));
    }
    return false;
  }
};

// Asks for the room its content needs, but no more than the screen leaves once the
// rest of the dialog (margins, buttons) has its own.
class FittingScroll : public QScrollArea {
 public:
  FittingScroll(QWidget* parent, QSize otherRoom) : QScrollArea(parent), otherRoom_(otherRoom) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }

  QSize sizeHint() const override {
    const QSize room = RoomOnScreen(*this->window()) - otherRoom_;
    const QWidget* body = widget();
    // The width of a vertical scroll bar is kept beside the content, in case the
    // dialog turns out lower than it asks.
    const int scrollBar = verticalScrollBar()->sizeHint().width();
    const int width = std::min(body->sizeHint().width() + scrollBar, room.width());
    const int height = body->hasHeightForWidth() ? body->heightForWidth(width - scrollBar)
                                                 : body->sizeHint().height();
    return {width, std::min(height, room.height())};
  }
  QSize minimumSizeHint() const override { return {0, 0}; }

 private:
  QSize otherRoom_;
};

}  // namespace

QFont DialogFont() {
  QFont font = QApplication::font();
  if (font.pointSizeF() > 0 && font.pointSizeF() < 8) font.setPointSizeF(8);
  return font;
}

void LayOutDialog(QDialog& dialog, QLayout* content, QLayout* buttons, Qt::Orientation buttonsGo) {
  dialog.setFont(DialogFont());
  auto* body = new QWidget;
  body->setObjectName(QStringLiteral("body"));
  body->setLayout(content);
  content->setContentsMargins(0, 0, 0, 0);
  auto* outer = new QBoxLayout(buttonsGo == Qt::Vertical ? QBoxLayout::TopToBottom
                                                         : QBoxLayout::LeftToRight,
                               &dialog);
  // The buttons and margins take their room first; the content has the rest.
  const QSize buttonsRoom = buttons->sizeHint();
  const QMargins margins = outer->contentsMargins();
  const int gap = outer->spacing();
  const QSize otherRoom =
      QSize(margins.left() + margins.right(), margins.top() + margins.bottom()) +
      (buttonsGo == Qt::Vertical ? QSize(0, buttonsRoom.height() + gap)
                                 : QSize(buttonsRoom.width() + gap, 0));
  auto* scroll = new FittingScroll(&dialog, otherRoom);
  scroll->setWidget(body);
  scroll->viewport()->setBackgroundRole(QPalette::Window);
  outer->addWidget(scroll, 1);
  outer->addLayout(buttons);
  dialog.setMaximumSize(RoomOnScreen(dialog));
  new FitOnShow(&dialog);
}

QLabel* WrappedText(const QString& text, int leastChars, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setMinimumWidth(QFontMetrics(DialogFont()).averageCharWidth() * leastChars);
  return label;
}

QString DialogText(std::string_view text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

}  // namespace flash
