// The desktop program as a user follows an operation: the progress bar and the
// title, the Stop command, the quit question, the model pane of a new run; and on a
// first start, what never reaches the radio.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTimer>

#include <cstdlib>
#include <set>

#include "app/command_ids.h"
#include "app/result_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/radio_sim_process.h"

namespace flash::test {
namespace {

constexpr int kOperationMs = 30000;
const std::string kDemoFile = FLASH_SOURCE_DIR "/examples/746-demo.ruf";

// The theme a run uses: FLASH_UPDATE_THEME=dark gives the dark palette (the
// screenshots of the README are taken once in each theme).
bool DarkThemeAsked() {
  const char* theme = std::getenv("FLASH_UPDATE_THEME");
  return theme && std::string(theme) == "dark";
}

class DesktopFlowsTest : public AppTest {
 protected:
  void SetUp() override {
    previousPalette_ = QApplication::palette();
    if (DarkThemeAsked()) QApplication::setPalette(DarkPalette());
  }
  void TearDown() override { QApplication::setPalette(previousPalette_); }

  // Starts the command; the file chooser takes the demo file after onChooser has
  // looked at the window as the run begins.
  void Start(MainWindow& window, int command, std::function<void()> onChooser = {}) {
    auto choose = OnModal<QFileDialog>([onChooser](QFileDialog* chooser) {
      if (onChooser) onChooser();
      chooser->selectFile(QString::fromStdString(kDemoFile));
      static_cast<QDialog*>(chooser)->accept();
    });
    ASSERT_TRUE(window.RunCommand(command));
    ASSERT_TRUE(choose->answered());
  }

  // The window, and the dialog open over it (a window of its own) where it stands.
  void SaveScreenshot(MainWindow& window, const QString& name, QWidget* dialog = nullptr) {
    const char* dir = std::getenv("FLASH_UPDATE_SCREENSHOT_DIR");
    if (!dir) return;
    WaitFor([] { return false; }, 200);  // let the window paint
    QPixmap shot = window.grab();
    if (dialog) {
      QPainter painter(&shot);
      painter.drawPixmap(dialog->geometry().topLeft() - window.geometry().topLeft(), dialog->grab());
    }
    const QString file = name + (DarkThemeAsked() ? QStringLiteral("-dark") : QString()) +
                         (qEnvironmentVariable("QT_SCALE_FACTOR") == QStringLiteral("2") ? QStringLiteral("-scale2")
                                                                                        : QString()) +
                         QStringLiteral(".png");
    EXPECT_TRUE(shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(file)));
  }

  QPalette previousPalette_;
};

TEST_F(DesktopFlowsTest, ProgressBarAndTitleFollowTheProgramAndStopEndsTheNextRunCleanly) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--delay-ms", "8", "--expect", kDemoFile});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint());
  MainWindow& window = StartApp();
  QProgressBar* bar = window.statusPanes()->progressBar();

  std::set<int> values;
  bool titleShowsPercent = false;
  bool screenshotTaken = false;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!window.engine().operationRunning() || bar->isHidden()) return;
    values.insert(bar->value());
    titleShowsPercent = titleShowsPercent || window.windowTitle().contains(QLatin1Char('%'));
    if (!screenshotTaken && bar->value() > bar->maximum() / 2) {
      screenshotTaken = true;
      SaveScreenshot(window, QStringLiteral("main-window-during-program"));
    }
  });
  sampler.start(1);
  QString result;  // and the title and the bar with it: the file went whole
  auto ok = OnModal<ResultDialog>(
      [&](ResultDialog* d) {
        result = d->text() + "|" + window.windowTitle() + QStringLiteral("|%1").arg(bar->value() == bar->maximum());
        d->accept();
      },
      kOperationMs);
  Start(window, ID_UPDATE_RADIO);
  EXPECT_TRUE(window.IsCommandEnabled(ID_STOP_UPDATE));
  ASSERT_TRUE(WaitFor([&] { return window.lastOutcome().has_value(); }, kOperationMs));
  sampler.stop();
  EXPECT_EQ(result, QStringLiteral("Flash Update Successfuly Completed !|100% - Halvane Quillo Flash Update Utility|1"));
  EXPECT_GT(values.size(), 3u) << "the bar moves during the Program";
  EXPECT_TRUE(bar->value() == bar->maximum() && bar->maximum() == 131);
  EXPECT_EQ(bar->format(), QStringLiteral("Done"));
  EXPECT_TRUE(titleShowsPercent);
  EXPECT_FALSE(window.windowTitle().contains(QLatin1Char('%')));
  window.ReportProgress(140, 131);  // #E and #G lines count past the file's data lines
  EXPECT_TRUE(window.windowTitle().startsWith(QStringLiteral("100% - "))) << window.windowTitle().toStdString();
  EXPECT_TRUE(!window.IsCommandEnabled(ID_STOP_UPDATE) && window.IsCommandEnabled(ID_VERIFY_PROGRAM));
  EXPECT_EQ(window.statusPanes()->paneText(1) + "|" + window.statusPanes()->paneText(2),
            QStringLiteral("Model QV746|Program Flash"));
  const QString log = window.outputPane()->toPlainText();
  EXPECT_TRUE(window.outputPane()->isVisible() && !window.splashShown() && window.outputPane()->isReadOnly());
  EXPECT_TRUE(log.contains(QStringLiteral("131 Lines Processed in ")) && !log.contains(QLatin1Char('\r')))
      << log.toStdString();
  SaveScreenshot(window, QStringLiteral("main-window-after-program"));
  EXPECT_EQ(radio.Stop(), 0) << "the radio's memory equals the file: " << radio.out();
  // A window too low for the log: the pane follows its newest line, unless scrolled up.
  window.resize(window.width(), window.minimumSizeHint().height());
  QScrollBar* rows = window.outputPane()->verticalScrollBar();
  for (const int at : {rows->maximum(), 1}) {
    rows->setValue(at);
    window.AppendOutput(" one more line\r\n");
    EXPECT_EQ(rows->value(), at == 1 ? 1 : rows->maximum());
  }
  EXPECT_GT(rows->maximum(), 1);

  // A second run on a link whose radio never answers: the model pane forgets the
  // first radio at once, and Stop (confirmed) ends the run with the trace closed.
  RadioSim silent(RADIO_SIM_PATH, {"--model", "746", "--silent-from", "1"});
  ASSERT_FALSE(silent.endpoint().empty());
  objects_->linkSettings.comPort = silent.endpoint();
  QString modelAtStart = QStringLiteral("unseen");
  Start(window, ID_UPDATE_RADIO, [&] { modelAtStart = window.statusPanes()->paneText(1); });
  EXPECT_EQ(modelAtStart, QString());
  ASSERT_TRUE(window.engine().operationRunning());
  QString asked;
  auto no = OnModal<QMessageBox>([&](QMessageBox* q) { asked = q->text(), q->button(QMessageBox::No)->click(); });
  EXPECT_TRUE(window.RunCommand(ID_STOP_UPDATE));
  EXPECT_TRUE(no->answered());
  EXPECT_EQ(asked, QStringLiteral("Stop the update now? The radio may need a new update.")) << "Stop asks no quit question";
  EXPECT_TRUE(window.engine().operationRunning()) << "No keeps the update running";
  auto yes = OnModal<QMessageBox>([](QMessageBox* q) { q->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(window.RunCommand(ID_STOP_UPDATE));
  EXPECT_TRUE(yes->answered());
  EXPECT_FALSE(window.engine().operationRunning());
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::Stopped);
  EXPECT_FALSE(objects_->commsTrace.IsOpen());
  EXPECT_NE(Read("comms.txt").find("stopped by the user"), std::string::npos);
  EXPECT_TRUE(window.outputPane()->toPlainText().contains(QStringLiteral("stopped by the user")));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(bar->format(), QStringLiteral("Stopped"));
  EXPECT_TRUE(window.IsCommandEnabled(ID_UPDATE_RADIO));
}

TEST_F(DesktopFlowsTest, QuitQuestionClosesItselfWhenTheUpdateEnds) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--delay-ms", "5"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint());
  MainWindow& window = StartApp();
  bool questionOpenUnderResult = true;
  auto question = OnModal<QMessageBox>([](QMessageBox*) {});  // asked, never answered
  auto result = OnModal<ResultDialog>(
      [&](ResultDialog* d) {
        const auto* open = window.findChild<QMessageBox*>(QStringLiteral("quitQuestion"));
        questionOpenUnderResult = open && open->isVisible();
        d->accept();
      },
      kOperationMs);
  Start(window, ID_UPDATE_RADIO);
  // Should the question stay open, the test fails instead of hanging.
  QTimer::singleShot(kOperationMs, &window, [&] {
    if (auto* q = window.findChild<QMessageBox*>(QStringLiteral("quitQuestion"))) q->reject();
  });
  EXPECT_FALSE(window.close()) << "the question closed without a Yes: the window stays";
  EXPECT_TRUE(question->answered());
  EXPECT_TRUE(result->answered());
  EXPECT_FALSE(questionOpenUnderResult);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::ProgramSucceeded);
}

// Without update.ini the radio's answers are checked and Setup shows it; a file for
// another model, a Verify that could not prove the memory (S-records) and a port
// that is missing are each told once, with nothing written to the radio, and no
// operation is left running that quitting would ask about.
TEST_F(DesktopFlowsTest, AFirstStartChecksTheRadioAndWritesNothingItCannotCheck) {
  const std::string image = dir_.File("781.hex");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "781", "--verbose", "--image-out", image});
  ASSERT_FALSE(radio.endpoint().empty());
  MainWindow& window = StartApp();
  EXPECT_TRUE(window.IsCommandEnabled(ID_VERIFY_PROGRAM));
  bool boxTicked = false;
  auto setup = OnModal<SetupDialog>([&](SetupDialog* d) {
    boxTicked = d->stopOnErrorsBox()->isChecked();
    SaveScreenshot(window, QStringLiteral("first-start-setup"), d);
    d->portList()->setEditText(QString::fromStdString(radio.endpoint()));
    Click(d, "ok");
  });
  ASSERT_TRUE(window.RunCommand(ID_SETUP));
  ASSERT_TRUE(setup->answered());
  EXPECT_TRUE(boxTicked);

  const auto run = [&](int command, const std::string& file, const QString& screenshot = {}) {
    MessageLog messages([&](QWidget* box) {
      if (!screenshot.isEmpty()) SaveScreenshot(window, screenshot, box);
    });
    auto choose = ChooseFile(file);
    EXPECT_TRUE(window.RunCommand(command));
    EXPECT_TRUE(choose->answered());
    EXPECT_TRUE(WaitFor([&] { return !window.engine().operationRunning() && !messages.seen().empty(); },
                        kOperationMs));
    WaitFor([] { return false; }, 100);  // one that follows at once is counted too
    return messages.seen();
  };

  QStringList told = run(ID_UPDATE_RADIO, WriteRuf("746-new.ruf", 4));
  EXPECT_EQ(told.size(), 1) << told.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::ModelMismatch);
  EXPECT_FALSE(window.outputPane()->toPlainText().contains(QStringLiteral("Command Line Switch")));

  sim::RufWriteOptions sRecords;
  sRecords.format = sim::RufDataFormat::SRecords;
  told = run(ID_VERIFY_PROGRAM, WriteRuf("746-s3.ruf", 4, sRecords), QStringLiteral("verify-s-records-refused"));
  EXPECT_EQ(told.size(), 1) << told.join(QLatin1Char('|')).toStdString();
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::FileRefused);
  EXPECT_FALSE(radio.WaitForRequest(2, std::chrono::milliseconds{100})) << "only the first run's ?V: " << radio.err();

  objects_->linkSettings.comPort = dir_.File("no-such-port");
  told = run(ID_UPDATE_RADIO, dir_.File("746-new.ruf"));
  ASSERT_EQ(told.size(), 1) << "no dialog 113 after the message: " << told.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(told[0].startsWith(QStringLiteral("I CAN'T: That PORT is not available: ") +
                                 QString::fromStdString(dir_.File("no-such-port")) + QStringLiteral(": ")))
      << told[0].toStdString();
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::LinkNotOpened);
  EXPECT_TRUE(window.IsCommandEnabled(ID_UPDATE_RADIO) && !window.IsCommandEnabled(ID_STOP_UPDATE));
  for (const QTimer* timer : window.findChildren<QTimer*>()) {
    EXPECT_FALSE(timer->isActive()) << "a timer left running would end in dialog 113";
  }
  const MessageLog quitting;
  EXPECT_TRUE(window.close());
  EXPECT_TRUE(quitting.seen().isEmpty()) << "no question: nothing runs";

  EXPECT_EQ(radio.Stop(), 0);
  EXPECT_NE(radio.err().find("wrote 0 bytes of memory"), std::string::npos) << radio.err();
}

}  // namespace
}  // namespace flash::test
