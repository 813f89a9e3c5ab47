// Whole operations of the desktop program against the radio-sim program on a
// pseudo-terminal: the real serial port watched by the window's event loop, the
// real file dialog, the result dialogs.
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <set>

#include "app/command_ids.h"
#include "app/personality_dialog.h"
#include "app/result_dialog.h"
#include "app/status_panes.h"
#include "sim/memory_image.h"
#include "sim/ruf_writer.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/radio_sim_process.h"

namespace flash::test {
namespace {

constexpr int kOperationTimeoutMs = 30000;  // a small file takes well under a second

class OperationAgainstSimTest : public AppTest {
 protected:
  std::string WriteRuf(const std::string& name, std::size_t size) {
    sim::MemoryImage image;
    for (std::size_t i = 0; i < size; ++i) {
      image.Write(0x100 + static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(i * 13 + 5));
    }
    const std::string path = WorkFile(name);
    EXPECT_TRUE(sim::WriteRufFile(path, image));
    return path;
  }

  void UseSerialPort(const std::string& device, int ignoreErrors) {
    WriteWorkFile("update.ini", "[SERIAL INTERFACE]\r\nCOMPORT=" + device +
                                    "\r\nSTOP ON ERRORS=" + std::to_string(ignoreErrors) + "\r\n");
  }

  // The next file dialog chooses path.
  static std::unique_ptr<ModalAnswer> ChooseFile(const std::string& path) {
    return OnModal<QFileDialog>([path](QFileDialog* chooser) {
      chooser->selectFile(QString::fromStdString(path));
      static_cast<QDialog*>(chooser)->accept();
    });
  }

  // Starts the command and waits for the operation to end; answers the result
  // dialog with OK and returns its text (empty when none was shown).
  QString RunToTheEnd(MainWindow& window, int command, const std::string& file) {
    auto choose = ChooseFile(file);
    QString resultText;
    auto result = OnModal<ResultDialog>(
        [&](ResultDialog* dialog) {
          resultText = dialog->text();
          dialog->okButton()->click();
        },
        kOperationTimeoutMs);
    EXPECT_TRUE(window.RunCommand(command));
    EXPECT_TRUE(choose->answered());
    EXPECT_TRUE(WaitFor([&] { return !window.engine().operationRunning() && window.lastOutcome(); },
                        kOperationTimeoutMs));
    return resultText;
  }

  void SaveScreenshot(MainWindow& window, const char* name) {
    const char* dir = std::getenv("FLASH_UPDATE_SCREENSHOT_DIR");
    if (!dir) return;
    WaitFor([] { return false; }, 200);  // let the window paint
    EXPECT_TRUE(window.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(name))));
  }
};

TEST_F(OperationAgainstSimTest, ProgramRunsToTheEndAndReportsSuccess) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint(), 0);
  MainWindow& window = StartApp();
  window.resize(720, 480);
  SaveScreenshot(window, "main-window-start.png");
  // The project's demonstration file, so the log shows its comment lines as well.
  const std::string file = FLASH_SOURCE_DIR "/examples/746-demo.ruf";

  // What the panes show while the operation runs.
  std::set<QString> pane0, pane1, pane2;
  bool refusedWhileRunning = false;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    if (!window.engine().operationRunning()) return;
    pane0.insert(window.statusPanes()->paneText(0));
    pane1.insert(window.statusPanes()->paneText(1));
    pane2.insert(window.statusPanes()->paneText(2));
    refusedWhileRunning = !window.commandAction(ID_UPDATE_RADIO)->isEnabled() &&
                          !window.commandAction(ID_VERIFY_PROGRAM)->isEnabled() &&
                          !window.IsCommandEnabled(ID_TESTING_MODE);
  });
  sampler.start(1);

  const QString result = RunToTheEnd(window, ID_UPDATE_RADIO, file);
  sampler.stop();
  EXPECT_EQ(result, QStringLiteral("Flash Update Successfuly Completed !"));
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::ProgramSucceeded);
  EXPECT_TRUE(refusedWhileRunning);
  EXPECT_TRUE(window.commandAction(ID_UPDATE_RADIO)->isEnabled()) << "enabled again at the end";

  const bool progressShown = std::any_of(pane0.begin(), pane0.end(), [](const QString& text) {
    return QRegularExpression(QStringLiteral("^[0-9]+ of 131 Lines Processed$")).match(text).hasMatch();
  });
  EXPECT_TRUE(progressShown) << "progress in pane 0";
  EXPECT_TRUE(pane1.count(QStringLiteral("Model QV746")));
  EXPECT_TRUE(pane2.count(QStringLiteral("Program Flash")));
  EXPECT_EQ(window.statusPanes()->pane(1)->width(), 200);
  EXPECT_EQ(window.statusPanes()->pane(2)->width(), 200);
  EXPECT_EQ(window.statusPanes()->paneText(2), QStringLiteral("Program Flash"));

  const QString log = window.outputPane()->toPlainText();
  EXPECT_FALSE(log.isEmpty());
  EXPECT_FALSE(log.contains(QLatin1Char('\r')));
  EXPECT_TRUE(window.outputPane()->isVisible());
  EXPECT_FALSE(window.splashShown());
  EXPECT_NE(ReadWorkFile("comms.txt").find("Log File Begin"), std::string::npos);
  SaveScreenshot(window, "main-window-after-program.png");
}

TEST_F(OperationAgainstSimTest, EachOutcomeShowsItsResultDialog) {
  const std::string file = WriteRuf("746.ruf", 64);
  struct Case {
    std::vector<std::string> radio;
    int ignoreErrors;
    int command;
    QString result;
    QString pane2;
  };
  const std::vector<Case> cases = {
      {{"--image-in", file}, 0, ID_VERIFY_PROGRAM, "File and Firmware Sucessfully Verified", ""},
      {{}, 0, ID_VERIFY_PROGRAM, "The selected file does not match", ""},
      {{}, 1, ID_UPDATE_RADIO, "File Processing Complete!", "Program Flash"},
      {{"--wrong-echo-from", "3"}, 0, ID_UPDATE_RADIO, "Unable to update the radio's Flash Memory",
       "Program Flash"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"--model", "746"};
    arguments.insert(arguments.end(), c.radio.begin(), c.radio.end());
    RadioSim radio(RADIO_SIM_PATH, arguments);
    ASSERT_FALSE(radio.endpoint().empty());
    UseSerialPort(radio.endpoint(), c.ignoreErrors);
    MainWindow& window = StartApp();
    const QString result = RunToTheEnd(window, c.command, file);
    EXPECT_TRUE(result.startsWith(c.result)) << result.toStdString();
    EXPECT_EQ(window.statusPanes()->paneText(2), c.pane2) << c.result.toStdString();
    if (c.ignoreErrors) {
      EXPECT_TRUE(window.outputPane()->toPlainText().contains(QStringLiteral(
          "*** Detected Command Line Switch to Ignore Radio Responses and Errors ***")));
    }
    EndApp();
  }
}

TEST_F(OperationAgainstSimTest, ExtendedMemoryRadioAsksForThePersonalityAndACancelEndsWithoutAResult) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "734", "--extended"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint(), 0);
  MainWindow& window = StartApp();
  const std::string file = WriteRuf("734.ruf", 64);
  auto cancel = OnModal<PersonalityDialog>(
      [](PersonalityDialog* dialog) { dialog->close(); }, kOperationTimeoutMs);
  EXPECT_EQ(RunToTheEnd(window, ID_UPDATE_RADIO, file), QString());
  EXPECT_TRUE(cancel->answered());
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::PersonalityCancelled);

  auto personality = OnModal<PersonalityDialog>(
      [](PersonalityDialog* dialog) { dialog->personalityButton(4)->click(); }, kOperationTimeoutMs);
  EXPECT_EQ(RunToTheEnd(window, ID_UPDATE_RADIO, file),
            QStringLiteral("Flash Update Successfuly Completed !"));
  EXPECT_TRUE(personality->answered());
  EXPECT_EQ(window.statusPanes()->paneText(1), QStringLiteral("Banwick 734"));
}

TEST_F(OperationAgainstSimTest, ProgramOverUdpRunsToTheEndThroughTheWindowsSocketWatch) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--udp", "127.0.0.2:0", "--passcode", "4321"});
  const std::string endpoint = radio.endpoint();
  const std::size_t colon = endpoint.rfind(':');
  ASSERT_NE(colon, std::string::npos) << endpoint;
  WriteWorkFile("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n"
                              "[ETHERNET INTERFACE]\r\nIP ADDRESS=" + endpoint.substr(0, colon) +
                              "\r\nUDP PORT=" + endpoint.substr(colon + 1) +
                              "\r\nPASSCODE=4321\r\n"
                              "[ACTIVE INTERFACE]\r\nETHERNET=1\r\nSERIAL=0\r\n");
  MainWindow& window = StartApp();
  EXPECT_EQ(RunToTheEnd(window, ID_UPDATE_RADIO, WriteRuf("746.ruf", 256)),
            QStringLiteral("Flash Update Successfuly Completed !"));
  EXPECT_EQ(window.statusPanes()->paneText(1), QStringLiteral("Model QV746"));
}

TEST_F(OperationAgainstSimTest, ClosingDuringAnOperationAsksFirst) {
  // The radio identifies itself and then stays silent: the operation waits.
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--silent-from", "2"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint(), 0);
  MainWindow& window = StartApp();
  auto choose = ChooseFile(WriteRuf("746.ruf", 64));
  ASSERT_TRUE(window.RunCommand(ID_UPDATE_RADIO));
  ASSERT_TRUE(WaitFor([&] { return window.statusPanes()->paneText(1) == "Model QV746"; }));
  ASSERT_TRUE(window.engine().operationRunning());

  EXPECT_FALSE(window.RunCommand(ID_UPDATE_RADIO));
  EXPECT_FALSE(window.RunCommand(ID_TESTING_MODE));
  EXPECT_FALSE(window.commandAction(ID_UPDATE_RADIO)->isEnabled());
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());

  bool closedSignal = false;
  QObject::connect(&window, &MainWindow::closed, [&] { closedSignal = true; });
  QString question;
  auto no = OnModal<QMessageBox>([&](QMessageBox* box) {
    question = box->text();
    box->button(QMessageBox::No)->click();
  });
  window.close();
  EXPECT_TRUE(no->answered());
  EXPECT_EQ(question, QStringLiteral("An update is in progress. Quitting now may leave the radio "
                                     "unusable. Quit anyway?"));
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(closedSignal);
  EXPECT_TRUE(window.engine().operationRunning());
  EXPECT_TRUE(objects_->commsTrace.IsOpen()) << "nothing was closed";

  auto yes = OnModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(window.RunCommand(ID_QUIT));
  EXPECT_TRUE(yes->answered());
  EXPECT_TRUE(closedSignal);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.engine().operationRunning());
  EXPECT_FALSE(objects_->commsTrace.IsOpen());
  EXPECT_FALSE(objects_->serialPort.IsOpen()) << "the stopped operation closed its port";
}

TEST_F(OperationAgainstSimTest, ALinkInTheTracesPlaceIsSaidOnceAndTheProgramStillSucceeds) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint(), 0);
  // Never followed: the device would take the writes and lose them.
  ASSERT_EQ(::symlink("/dev/full", WorkFile("comms.txt").c_str()), 0);
  MainWindow& window = StartApp();
  EXPECT_EQ(RunToTheEnd(window, ID_UPDATE_RADIO, WriteRuf("746.ruf", 2048)),
            QStringLiteral("Flash Update Successfuly Completed !"));
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::ProgramSucceeded);
  const QString log = window.outputPane()->toPlainText();
  EXPECT_EQ(log.count(QStringLiteral("The trace file comms.txt is not a regular file")), 1)
      << log.toStdString();
}

TEST_F(OperationAgainstSimTest, ARadioThatVanishesMidProgramEndsWith113AndTheWindowCarriesOn) {
  // 5 ms per answer: the 128 lines would take most of a second.
  std::optional<RadioSim> radio;
  radio.emplace(RADIO_SIM_PATH, std::vector<std::string>{"--model", "746", "--delay-ms", "5"});
  ASSERT_FALSE(radio->endpoint().empty());
  UseSerialPort(radio->endpoint(), 0);
  MainWindow& window = StartApp();

  // The radio dies after ten lines, its pseudo-terminal with it; from then on the
  // window's 5-second response timer is cut to 1 ms whenever it is started, so that
  // the eight silences pass at once.
  int killedAtLine = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    // The progress pane reads "N of M Lines Processed".
    const int processed = window.statusPanes()->paneText(0).section(QLatin1Char(' '), 0, 0).toInt();
    if (radio && processed >= 10) {
      killedAtLine = processed;
      radio->Stop(SIGKILL);
      radio.reset();
    }
    if (radio) return;
    for (QTimer* timer : window.findChildren<QTimer*>()) {
      if (timer->isActive() && timer->interval() == 5000) timer->start(1);
    }
  });
  watch.start(1);
  const QString result = RunToTheEnd(window, ID_UPDATE_RADIO, WriteRuf("746.ruf", 128 * 16));
  watch.stop();

  EXPECT_GE(killedAtLine, 10);
  EXPECT_LT(killedAtLine, 128);
  EXPECT_TRUE(result.startsWith(QStringLiteral("Communication with the radio has failed.")))
      << result.toStdString();
  EXPECT_EQ(window.lastOutcome(), OperationOutcome::CommunicationFailed);
  EXPECT_TRUE(window.commandAction(ID_UPDATE_RADIO)->isEnabled()) << "enabled again at the end";
  const std::string trace = ReadWorkFile("comms.txt");
  EXPECT_TRUE(trace.starts_with("Log File Begin\r\n"));
  EXPECT_TRUE(trace.ends_with(" 0d \r\n")) << "the last line is a whole request";
}

}  // namespace
}  // namespace flash::test
