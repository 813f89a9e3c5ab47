// Start-up and exit: the socket layer, the command-line rule, update.ini at exit.
#include <QApplication>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <ctime>

#include "app/about_dialog.h"
#include "app/build_stamp.h"
#include "app/command_ids.h"
#include "app/command_line_rule.h"
#include "app/socket_layer.h"
#include "link/system_clock.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

using StartUpTest = AppTest;

TEST(CommandLineRule, AnyArgumentAtAllIgnoresErrors) {
  EXPECT_FALSE(ArgumentsIgnoreErrors({"flash-update"}));
  EXPECT_FALSE(ArgumentsIgnoreErrors({}));
  EXPECT_TRUE(ArgumentsIgnoreErrors({"flash-update", "x"}));
  // A quoted empty or blank argument was still typed as a word of the command line.
  EXPECT_TRUE(ArgumentsIgnoreErrors({"flash-update", ""}));
}

TEST(SocketLayer, StartsOnThisMachine) {
  SocketLayer layer;
  EXPECT_TRUE(layer.Start());
  layer.Stop();
  EXPECT_FALSE(layer.started());
}

TEST(SystemClock, GivesCalendarSecondsAndTheUtcTimeOfDay) {
  SystemClock clock;
  const std::time_t before = std::time(nullptr);
  const std::int64_t seconds = clock.CalendarSeconds();
  const UtcTimeOfDay t = clock.UtcNow();
  const std::time_t after = std::time(nullptr);
  // time() reads the coarse clock, which may lag the precise one by a tick.
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after + 1);
  std::tm utc{};
  gmtime_r(&after, &utc);
  EXPECT_LT(t.hour, 24u);
  EXPECT_LT(t.minute, 60u);
  EXPECT_LT(t.second, 61u);
  EXPECT_LT(t.millisecond, 1000u);
  // Within the same minute as the C library's UTC, unless the test straddled a minute.
  const int ours = static_cast<int>(t.hour * 60 + t.minute);
  const int theirs = utc.tm_hour * 60 + utc.tm_min;
  EXPECT_LE((theirs - ours + 1440) % 1440, 1);
}

TEST_F(StartUpTest, WithoutArgumentsTheSettingsFileDecides) {
  WriteWorkFile("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n");
  MainWindow& window = StartApp({"flash-update"});
  EXPECT_TRUE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
}

TEST_F(StartUpTest, AnArgumentOverridesTheSettingsFileAndIsStoredAtExit) {
  WriteWorkFile("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n");
  MainWindow& window = StartApp({"flash-update", "x"});
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
  EndApp();
  EXPECT_NE(ReadWorkFile("update.ini").find("STOP ON ERRORS=1"), std::string::npos);
}

TEST_F(StartUpTest, ShowsThePaintedWindowAndPublishesItsReference) {
  MainWindow& window = StartApp();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(mainWindowRef, &window);
  EndApp();
  EXPECT_EQ(mainWindowRef, nullptr);
}

TEST_F(StartUpTest, QuitEndsTheMessageLoopAndWritesTheSettings) {
  MainWindow& window = StartApp();
  QTimer::singleShot(0, &window, [&window] { window.RunCommand(ID_QUIT); });
  EXPECT_EQ(objects_->updateApp.Run(), 0);
  EXPECT_EQ(objects_->updateApp.mainWindow(), nullptr);
  EXPECT_NE(ReadWorkFile("update.ini").find("COMPORT=COM1"), std::string::npos);
}

TEST_F(StartUpTest, ClosingTheWindowClosesAnOpenTraceFirst) {
  MainWindow& window = StartApp();
  ASSERT_TRUE(objects_->commsTrace.Open());
  window.close();
  EXPECT_FALSE(objects_->commsTrace.IsOpen());
  EXPECT_FALSE(window.isVisible());
}

TEST_F(StartUpTest, SocketLayerFailureShowsTheMessageAndCreatesNoWindow) {
  QString text;
  QString caption;
  auto answer = OnModal<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    caption = box->windowTitle();
    box->accept();
  });
  ProcessObjects objects({"flash-update"}, SocketLayer([] { return false; }));
  EXPECT_FALSE(objects.updateApp.Start());
  EXPECT_TRUE(answer->answered());
  EXPECT_EQ(text, QStringLiteral("IDP_SOCKETS_INIT_FAILED"));
  EXPECT_EQ(caption, QStringLiteral("Flash Update"));
  EXPECT_EQ(objects.updateApp.mainWindow(), nullptr);
  objects.updateApp.Exit();
  EXPECT_TRUE(ReadWorkFile("update.ini").empty()) << "nothing is read or written";
}

TEST_F(StartUpTest, DialogsAreLightGreyWithBlackText) {
  StartApp();
  QDialog dialog;
  dialog.show();  // the class palette reaches a widget when it is polished for showing
  EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(192, 192, 192));
  EXPECT_EQ(dialog.palette().color(QPalette::WindowText), QColor(Qt::black));
  QMessageBox box;
  box.show();
  EXPECT_EQ(box.palette().color(QPalette::Window), QColor(192, 192, 192));
}

TEST_F(StartUpTest, AboutBoxShowsTheVersionAndTheBuildStamp) {
  MainWindow& window = StartApp();
  QString version;
  QString stamp;
  auto answer = OnModal<AboutDialog>([&](AboutDialog* about) {
    version = about->versionText();
    stamp = about->buildStamp();
    about->reject();  // Esc
  });
  EXPECT_TRUE(window.RunCommand(ID_ABOUT));
  ASSERT_TRUE(answer->answered());
  EXPECT_EQ(version, QStringLiteral("Version 4.12"));
  EXPECT_EQ(stamp, QString::fromLatin1(buildStamp));
  // "Oct 26 2010, 13:55:56": month, blank-padded day, year, then the 24-hour time.
  EXPECT_TRUE(QRegularExpression(QStringLiteral(
                  "^(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4}, "
                  "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$"))
                  .match(stamp)
                  .hasMatch())
      << stamp.toStdString();
}

TEST_F(StartUpTest, AboutBoxButtonsOpenTheMailLinkAndTheUpdateSite) {
  MainWindow& window = StartApp();
  std::vector<QUrl> opened;
  AboutDialog::SetLinkOpener([&](const QUrl& url) { opened.push_back(url); });
  bool stillOpen = false;
  auto answer = OnModal<AboutDialog>([&](AboutDialog* about) {
    about->mailButton()->click();
    about->webButton()->click();
    stillOpen = about->isVisible();
    about->closeButton()->click();
  });
  window.RunCommand(ID_ABOUT);
  AboutDialog::SetLinkOpener([](const QUrl&) {});
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toString(),
            QStringLiteral("mailto:support@halvane-quillo.example?subject=Flash Update Support"));
  EXPECT_EQ(opened[1].toString(), QStringLiteral("https://www.halvane-quillo.example"));
  EXPECT_TRUE(stillOpen) << "the link buttons do not close the box";
}

}  // namespace
}  // namespace flash::test
