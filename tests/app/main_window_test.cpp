// The main window: title, menu, key table, status panes, output pane and picture.
#include <unistd.h>

#include <QAction>
#include <QFileDialog>
#include <QMessageBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <csignal>

#include "app/about_dialog.h"
#include "app/client_area.h"
#include "app/command_ids.h"
#include "app/status_panes.h"
#include "app/termination_signals.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

struct MenuRow {
  QString menu;
  QString item;  // empty for a separator
  int id;
};

std::vector<MenuRow> MenuRows(QMenuBar* bar) {
  std::vector<MenuRow> rows;
  for (QAction* top : bar->actions()) {
    for (QAction* item : top->menu()->actions()) {
      rows.push_back({top->text(), item->isSeparator() ? QString() : item->text(),
                      item->isSeparator() ? 0 : item->data().toInt()});
    }
  }
  return rows;
}

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, CarriesTheTitleAndTheTextsAndCommandIdsOfMainMenu) {
  MainWindow& window = StartApp();
  EXPECT_EQ(window.windowTitle().toStdString(), "Halvane Quillo Flash Update Utility");
  EXPECT_EQ(window.menuBar()->objectName(), QStringLiteral("MainMenu"));
  const std::vector<MenuRow> rows = MenuRows(window.menuBar());
  const std::vector<MenuRow> expected = {
      {"&Process", "&Update Radio\tF2", 32768},
      {"&Process", "&Verify Program\tF3", 32769},
      {"&Process", "", 0},
      {"&Process", "&Quit\tAlt-X", 32772},
      {"&Settings", "Setup...", 32785},
      {"&Help", "&About Update\tF1", 100},
  };
  ASSERT_EQ(rows.size(), expected.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].menu, expected[i].menu) << i;
    EXPECT_EQ(rows[i].item, expected[i].item) << i;
    EXPECT_EQ(rows[i].id, expected[i].id) << i;
  }
}

TEST_F(MainWindowTest, KeyTableHoldsF1AloneAndMenuItemsBindNoKeys) {
  MainWindow& window = StartApp();
  const auto shortcuts = window.findChildren<QShortcut*>();
  ASSERT_EQ(shortcuts.size(), 1);
  EXPECT_EQ(shortcuts[0]->objectName(), QStringLiteral("MainAccelTable"));
  EXPECT_EQ(shortcuts[0]->key(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(shortcuts[0]->property("commandId").toInt(), ID_ABOUT);
  for (QAction* action : window.findChildren<QAction*>()) {
    EXPECT_TRUE(action->shortcut().isEmpty()) << action->text().toStdString();
  }
}

TEST_F(MainWindowTest, F1OpensTheAboutBoxAndF2F3AndAltXDoNothing) {
  MainWindow& window = StartApp();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  bool anyModal = false;
  auto catcher = std::make_unique<ModalAnswer>(
      [](QWidget*) { return true; },
      [&](QWidget* modal) {
        anyModal = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      },
      200);
  // A bound key would open its dialog inside keyClick, before it returns.
  QTest::keyClick(&window, Qt::Key_F2);
  QTest::keyClick(&window, Qt::Key_F3);
  QTest::keyClick(&window, Qt::Key_X, Qt::AltModifier);
  EXPECT_FALSE(anyModal);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(window.splashShown());
  catcher.reset();

  QString version;
  auto answer = OnModal<AboutDialog>([&](AboutDialog* about) {
    version = about->versionText();
    about->closeButton()->click();
  });
  QTest::keyClick(&window, Qt::Key_F1);
  EXPECT_TRUE(answer->answered());
  EXPECT_EQ(version, QStringLiteral("Version 4.12"));
}

TEST_F(MainWindowTest, StatusBarHasAStretchingPaneAndTwoOf200PixelsWhateverTheWidth) {
  MainWindow& window = StartApp();
  window.resize(800, 500);
  ASSERT_TRUE(WaitFor([&] { return window.statusPanes()->width() == window.clientArea()->width(); }));
  StatusPanes* bar = window.statusPanes();
  EXPECT_EQ(bar->pane(1)->width(), 200);
  EXPECT_EQ(bar->pane(2)->width(), 200);
  EXPECT_EQ(bar->pane(0)->width(),
            bar->width() - 2 * StatusPanes::kFixedPaneWidth - 2 * StatusPanes::kPaneGap);
  EXPECT_EQ(bar->pane(0)->frameShape(), QFrame::NoFrame);
  EXPECT_NE(bar->pane(1)->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(bar->paneText(0), QStringLiteral(" "));
  // Along the bottom of the client area.
  EXPECT_EQ(bar->geometry().bottom(), window.clientArea()->height() - 1);

  window.SetStatusText(1, "Banwick 734");
  window.SetStatusText(7, "nowhere");  // no such pane: nothing changes
  EXPECT_EQ(bar->paneText(1), QStringLiteral("Banwick 734"));
  EXPECT_EQ(bar->paneText(2), QString());

  window.clientArea()->resize(300, 200);
  ASSERT_EQ(bar->width(), 300);
  EXPECT_EQ(bar->pane(0)->width(), 0);
  EXPECT_EQ(bar->pane(1)->width(), 200);
  EXPECT_EQ(bar->pane(2)->width(), 200);
}

TEST_F(MainWindowTest, OutputPaneAppearsAtTheFirstOutputAndKeepsItsFirstLineInView) {
  MainWindow& window = StartApp();
  QPlainTextEdit* pane = window.outputPane();
  EXPECT_FALSE(pane->isVisible());
  EXPECT_FALSE(pane->isReadOnly());
  EXPECT_EQ(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(pane->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(pane->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  window.BeginOutput();
  std::string log;
  for (int i = 1; i <= 200; ++i) log += " Line " + std::to_string(i) + "\r\n";
  window.AppendOutput(log);
  window.AppendOutput(" The last line\r\n");
  EXPECT_TRUE(pane->isVisible());
  EXPECT_EQ(pane->document()->blockCount(), 202);
  EXPECT_EQ(pane->document()->findBlockByNumber(0).text(), QStringLiteral(" Line 1"));
  EXPECT_EQ(pane->document()->findBlockByNumber(200).text(), QStringLiteral(" The last line"));
  EXPECT_EQ(pane->verticalScrollBar()->value(), 0);
}

TEST_F(MainWindowTest, TextTypedIntoThePaneIsReplacedAtTheNextUpdate) {
  MainWindow& window = StartApp();
  window.BeginOutput();
  window.AppendOutput(" First\r\n");
  window.outputPane()->appendPlainText(QStringLiteral("typed by the user"));
  window.AppendOutput(" Second\r\n");
  EXPECT_EQ(window.outputPane()->toPlainText(), QStringLiteral(" First\n Second\n"));
}

TEST_F(MainWindowTest, PictureIsDrawnCentredAndCutWhenTheAreaIsSmaller) {
  MainWindow& window = StartApp();
  ClientArea* area = window.clientArea();
  const QImage& picture = area->splash();
  EXPECT_EQ(picture.size(), QSize(384, 288));
  area->resize(601, 401);
  EXPECT_EQ(area->SplashOrigin(), QPoint(108, 56));
  // Smaller than the picture: the halves are negative and truncate toward zero.
  area->resize(301, 201);
  EXPECT_EQ(area->SplashOrigin(), QPoint(-41, -43));
  area->resize(300, 200);
  const QImage drawn = area->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint origin = area->SplashOrigin();
  ASSERT_EQ(origin, QPoint(-42, -44));
  for (QPoint p : {QPoint(0, 0), QPoint(150, 20), QPoint(299, 100)}) {
    EXPECT_EQ(drawn.pixel(p), picture.pixel(p - origin)) << p.x() << "," << p.y();
  }
}

TEST_F(MainWindowTest, CancelledFileDialogStillRemovesThePictureAndShowsTheEmptyPane) {
  MainWindow& window = StartApp();
  QString title;
  QStringList filters;
  QString suffix;
  auto answer = OnModal<QFileDialog>([&](QFileDialog* chooser) {
    title = chooser->windowTitle();
    filters = chooser->nameFilters();
    suffix = chooser->defaultSuffix();
    chooser->reject();
  });
  EXPECT_TRUE(window.RunCommand(ID_UPDATE_RADIO));
  ASSERT_TRUE(answer->answered());
  EXPECT_EQ(title, QStringLiteral("Select Firmware Update File"));
  EXPECT_EQ(filters, QStringList({"Firmware Files(*.ruf)", "All Files(*.*)"}));
  EXPECT_EQ(suffix, QStringLiteral("ruf"));
  EXPECT_FALSE(window.splashShown());
  EXPECT_TRUE(window.outputPane()->isVisible());
  EXPECT_EQ(window.statusPanes()->paneText(2), QStringLiteral("Program Flash"));

  // The picture never comes back, also after a resize.
  window.resize(900, 700);
  EXPECT_FALSE(window.splashShown());

  // Verify, cancelled the same way, leaves pane 2 empty.
  window.RunCommand(ID_TOGGLE_ERROR_CHECK);
  auto verify = OnModal<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
  EXPECT_TRUE(window.RunCommand(ID_VERIFY_PROGRAM));
  EXPECT_TRUE(verify->answered());
  EXPECT_EQ(window.statusPanes()->paneText(2), QString());
}

// A device chosen as the RUF file, as a FIFO would be, would block the window in
// its reading; it is refused by name, and SIGTERM still ends the program while the
// message is open.
TEST_F(MainWindowTest, ARufFileThatIsNoRegularFileIsRefusedByNameAndSigtermStillEndsTheProgram) {
  MainWindow& window = StartApp();
  const std::string device = WorkFile("746-device.ruf");
  ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                   [&window] { window.CloseWithoutAsking(); });
  auto choose = OnModal<QFileDialog>([&](QFileDialog* chooser) {
    chooser->selectFile(QString::fromStdString(device));
    static_cast<QDialog*>(chooser)->accept();
  });
  QString text;
  auto refusal = OnModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    ::raise(SIGTERM);  // the box stays open
  });
  QTimer::singleShot(0, &window, [&window] { window.RunCommand(ID_UPDATE_RADIO); });
  EXPECT_EQ(objects_->updateApp.Run(), 0);
  EXPECT_EQ(text.toStdString(), device + " is not a regular file.");
  EXPECT_FALSE(ReadWorkFile("update.ini").empty()) << "the normal exit saves the settings";
}

TEST_F(MainWindowTest, AnUnresolvableRadioAddressIsToldAtOnceAndNothingBegins) {
  // Two dots in a row: no lookup of this name ever leaves the machine.
  WriteWorkFile("update.ini", "[ETHERNET INTERFACE]\nIP ADDRESS=radio..local\n"
                              "[ACTIVE INTERFACE]\nETHERNET=1\nSERIAL=0\n");
  MainWindow& window = StartApp();
  QString text;
  auto told = OnModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    box->accept();
  });
  EXPECT_TRUE(window.RunCommand(ID_UPDATE_RADIO));
  EXPECT_TRUE(told->answered());
  EXPECT_TRUE(text.startsWith(QStringLiteral("The radio's address radio..local cannot be resolved (")) &&
              text.endsWith(QStringLiteral("); nothing was sent.")))
      << text.toStdString();
  EXPECT_TRUE(window.splashShown()) << "no operation began";
}

}  // namespace
}  // namespace flash::test
