// The window and its dialogs at the desktop's font from 8 to 14 points, and (run
// again at QT_SCALE_FACTOR 2 on a 1280x800 screen) at twice the pixels: every text
// has the room it needs, every dialog fits the screen with its buttons in sight,
// and a window narrowed to 420 pixels keeps the progress bar readable.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <memory>

#include "app/about_dialog.h"
#include "app/command_ids.h"
#include "app/personality_dialog.h"
#include "app/result_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

const QString kLongPath = QStringLiteral(
    "/dev/serial/by-id/usb-Future_Technology_Devices_International_FT232R_USB_UART_A50285BI-if00-port0");

std::string Named(const QWidget* w, const QString& text) {
  return (w->window()->objectName() + QStringLiteral(": ") + text).toStdString();
}

// The scroll area a widget lies in, if any.
const QScrollArea* ScrolledIn(const QWidget* w) {
  for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget()) {
    if (const auto* area = qobject_cast<const QScrollArea*>(p)) return area;
  }
  return nullptr;
}

// Labels and buttons are at least as large as their texts need, and lie where they
// can be seen: within their window, or across the scrolled content's visible width.
// A window fits the screen.
void ExpectFits(const QWidget& top) {
  const QSize screen = top.screen()->availableGeometry().size();
  EXPECT_LE(top.frameGeometry().width(), screen.width()) << top.objectName().toStdString();
  EXPECT_LE(top.frameGeometry().height(), screen.height()) << top.objectName().toStdString();
  for (const QWidget* w : top.findChildren<QWidget*>()) {
    if (!w->isVisibleTo(&top)) continue;
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(w); label && !label->text().isEmpty()) {
      text = label->text();
      if (label->wordWrap()) {
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << Named(w, text);
      } else {
        EXPECT_GE(label->width(), label->sizeHint().width()) << Named(w, text);
      }
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
      text = button->text();
      EXPECT_GE(button->width(), button->sizeHint().width()) << Named(w, text);
    } else {
      continue;
    }
    const QScrollArea* area = ScrolledIn(w);
    const QWidget* room = area ? area->viewport() : &top;
    const QRect place(w->mapTo(room, QPoint()), w->size());
    if (area) {
      EXPECT_TRUE(place.left() >= 0 && place.right() < room->width()) << Named(w, text);
    } else {
      EXPECT_TRUE(room->rect().contains(place)) << Named(w, text);
    }
  }
}

void ShowAndCheck(QWidget& dialog) {
  dialog.show();
  QApplication::processEvents();
  ExpectFits(dialog);
}

class WindowFits : public AppTest {};

TEST_F(WindowFits, AtEveryFontTextsHaveRoomDialogsFitAndTheBarStaysAt420Pixels) {
  const QFont before = QApplication::font();
  for (const int points : {8, 10, 14}) {
    SCOPED_TRACE(points);
    QFont font = before;
    font.setPointSize(points);
    QApplication::setFont(font);
    MainWindow& window = StartApp();
    StatusPanes& bar = *window.statusPanes();
    bar.SetPaneText(0, QStringLiteral("45 of 100 Lines Processed"));
    bar.SetPaneText(1, QStringLiteral("Model QV746"));
    bar.SetPaneText(2, QStringLiteral("Program Flash"));
    bar.ShowProgress(45, 100, 15000);
    QApplication::processEvents();
    ExpectFits(window);
    // Where the screen has room for the whole status bar, the window gives it.
    if (window.screen()->availableGeometry().width() * 9 / 10 >= bar.sizeHint().width()) {
      EXPECT_GE(window.width(), bar.sizeHint().width());
      for (int pane = 0; pane < 3; ++pane) EXPECT_FALSE(bar.pane(pane)->elided()) << pane;
    }

    // Narrowed, the window keeps the bar and its text; the lines text gives way.
    window.resize(420, window.height());
    QApplication::processEvents();
    EXPECT_EQ(window.width(), 420);
    QProgressBar* progress = bar.progressBar();
    EXPECT_TRUE(progress->isVisible());
    EXPECT_GE(progress->width(), progress->fontMetrics().horizontalAdvance(progress->text()))
        << progress->text().toStdString();
    EXPECT_LE(bar.pane(0)->width(), bar.pane(0)->sizeHint().width());

    {  // the dialogs go before their window
    AboutDialog about(QStringLiteral("built on Dec  7 2026"), QStringLiteral("Version 4.12"), &window);
    ShowAndCheck(about);
    SetupValues values;
    values.portName = kLongPath.toStdString();
    SetupDialog setup(values, {{kLongPath.toStdString(), "FTDI FT232R USB UART, serial A50285BI"}}, &window);
    ShowAndCheck(setup);
    EXPECT_TRUE(setup.portList()->toolTip().startsWith(kLongPath)) << "the path whole, on hover";
    PersonalityDialog personality(&window);
    ShowAndCheck(personality);
    for (const DialogId id : {DialogId::CommFailure, DialogId::ProgramSuccess, DialogId::VerifySuccess,
                              DialogId::ProcessingComplete, DialogId::VerifyFailure, DialogId::ProgramFailure}) {
      ResultDialog result(id, &window);
      ShowAndCheck(result);
    }
    }
    EndApp();
  }
  QApplication::setFont(before);

  // The keys the menus name run their commands: F2 begins an update.
  MainWindow& window = StartApp();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto chooser = OnModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
  QTest::keyClick(&window, Qt::Key_F2);
  EXPECT_TRUE(chooser->answered());
  EXPECT_EQ(window.statusPanes()->paneText(2), QStringLiteral("Program Flash"));
}

}  // namespace
}  // namespace flash::test
