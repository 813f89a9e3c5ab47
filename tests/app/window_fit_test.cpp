// The window and its dialogs at the desktop's font from 8 to 14 points, and (run
// again at QT_SCALE_FACTOR 2 on a 1280x800 screen) at twice the pixels: every text
// has the room it needs, every dialog fits the screen with its buttons in sight,
// and a window narrowed to 420 pixels keeps the progress bar readable.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTest>

#include <cstdlib>

#include "app/about_dialog.h"
#include "app/personality_dialog.h"
#include "app/result_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

const QString kLongPath = QStringLiteral(
    "/dev/serial/by-id/usb-Future_Technology_Devices_International_FT232R_USB_UART_A50285BI-if00-port0");

// Labels and buttons are as large as their texts need and lie where they can be
// seen: within their window, or across the visible width of the content that
// scrolls. The window fits the screen, and its text stands out from its background.
void ExpectFits(const QWidget& top) {
  const QSize screen = top.screen()->availableGeometry().size();
  EXPECT_TRUE(top.frameGeometry().width() <= screen.width() && top.frameGeometry().height() <= screen.height());
  EXPECT_GT(std::abs(top.palette().color(QPalette::WindowText).lightness() - top.palette().window().color().lightness()), 120);
  for (const QWidget* w : top.findChildren<QWidget*>()) {
    const auto* label = qobject_cast<const QLabel*>(w);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    if (!w->isVisibleTo(&top) || !(button || (label && !label->text().isEmpty()))) continue;
    const std::string named = (top.objectName() + QStringLiteral(": ") + (label ? label->text() : button->text())).toStdString();
    if (label && label->wordWrap()) {
      EXPECT_GE(label->height(), label->heightForWidth(label->width())) << named;
    } else {
      EXPECT_GE(w->width(), w->sizeHint().width()) << named;
    }
    const QWidget* area = w;
    while (area && !qobject_cast<const QScrollArea*>(area)) area = area->parentWidget();
    const QWidget* room = area ? static_cast<const QScrollArea*>(area)->viewport() : &top;
    const QRect place(w->mapTo(room, QPoint()), w->size());
    EXPECT_TRUE(place.left() >= 0 && place.right() < room->width() && (area || place.bottom() < room->height()))
        << named;
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
  const QPalette light = QApplication::palette();
  for (const int points : {8, 10, 14}) {
    SCOPED_TRACE(points);
    QFont font = before;
    font.setPointSize(points);
    QApplication::setFont(font);
    if (points == 10) QApplication::setPalette(DarkPalette());
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
    const QProgressBar& progress = *bar.progressBar();
    EXPECT_TRUE(window.width() == 420 && progress.isVisible() &&
                progress.width() >= progress.fontMetrics().horizontalAdvance(progress.text()));

    {  // the dialogs go before their window
      AboutDialog about(QStringLiteral("built on Dec  7 2026"), QStringLiteral("Version 4.12"), &window);
      ShowAndCheck(about);
      SetupValues values;
      values.portName = kLongPath.toStdString();
      values.useSerial = 1;
      SetupDialog setup(values, {{kLongPath.toStdString(), "FTDI FT232R USB UART, serial A50285BI"}},
                        &window);
      ShowAndCheck(setup);
      EXPECT_TRUE(setup.portList()->toolTip().startsWith(kLongPath)) << "the path whole, on hover";
      // The fields of the interface not chosen are greyed.
      EXPECT_TRUE(setup.portList()->isEnabled() && !setup.udpPortField()->isEnabled());
      setup.ethernetBox()->click();
      EXPECT_TRUE(!setup.portList()->isEnabled() && setup.udpPortField()->isEnabled());
      PersonalityDialog personality(&window);
      ShowAndCheck(personality);
      for (const int id : {113, 117, 118, 120, 121, 122}) {
        ResultDialog result(static_cast<DialogId>(id), &window);
        ShowAndCheck(result);
      }
    }
    EndApp();
    QApplication::setPalette(light);
  }
  QApplication::setFont(before);
}

// The time left follows the pace of lines that went without a resend: the wait for
// a silent radio neither counts as a line's pace nor makes the estimate grow.
TEST(StatusBar, TheTimeLeftCountsOnlyProgressAndTheBarStopsAt100) {
  StatusPanes bar(nullptr);
  const auto shown = [&](int done, int total, qint64 ms) {
    bar.ShowProgress(done, total, ms);
    return bar.progressBar()->text();
  };
  EXPECT_EQ(shown(10, 100, 10000), QStringLiteral("10%   0:10 spent, 1:30 left"));  // a second a line
  bar.ShowSilence(QStringLiteral("Line 12: no answer, sending again (1 of 7)"));
  EXPECT_EQ(shown(10, 100, 40000), QStringLiteral("10%   0:40 spent, 1:30 left"));
  EXPECT_EQ(shown(11, 100, 45000), QStringLiteral("11%   0:45 spent, 1:29 left"));
  EXPECT_EQ(shown(125, 100, 50000), QStringLiteral("100%   0:50 spent"));  // directives past the count
}

}  // namespace
}  // namespace flash::test
