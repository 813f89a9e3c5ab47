// Program and Verify through the window against the radio-sim program: the real
// serial port (or UDP socket) watched by the window's event loop, the real file
// dialog, the dialogs the user answers and the result dialog at the end; and what
// stops an operation from beginning, told to the user at once; and when the log
// names the command line's switch.
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/command_ids.h"
#include "app/personality_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/radio_sim_process.h"

namespace flash::test {
namespace {

using OperationTest = AppTest;

TEST_F(OperationTest, EachEndShowsTheUserItsResultDialog) {
  const std::string file = WriteRuf("746.ruf", 4);
  struct Case {
    std::vector<std::string> radio;
    int stopOnErrors;  // update.ini's switch: 1 ignores errors
    int command;
    const char* result;
  };
  const std::vector<Case> cases = {
      {{"--image-in", file}, 0, ID_VERIFY_PROGRAM, "File and Firmware Sucessfully Verified"},
      {{}, 0, ID_VERIFY_PROGRAM, "The selected file does not match the contents"},
      {{"--wrong-echo-from", "3"}, 0, ID_UPDATE_RADIO, "Unable to update the radio's Flash Memory"},
      {{"--wrong-echo-from", "3"}, 1, ID_UPDATE_RADIO, "File Processing Complete! \n\nThere is no way"},
      {{"--silent-from", "4"}, 0, ID_UPDATE_RADIO, "Communication with the radio has failed."},
      {{"--udp", "127.0.0.2:0", "--passcode", "4321", "--expect", file}, 0, ID_UPDATE_RADIO,
       "Flash Update Successfuly Completed !"},
      {{"--expect", file}, 0, ID_UPDATE_AND_VERIFY,
       "Flash Update Successfuly Completed !|File and Firmware Sucessfully Verified"},
      {{"--bad-cell", "0x120"}, 0, ID_UPDATE_AND_VERIFY,
       "Flash Update Successfuly Completed !|The selected file does not match the contents"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {"--model", "746"};
    arguments.insert(arguments.end(), c.radio.begin(), c.radio.end());
    RadioSim radio(RADIO_SIM_PATH, arguments);
    const std::string endpoint = radio.endpoint();
    ASSERT_FALSE(endpoint.empty());
    if (radio.udpPort() > 0) {
      dir_.Write("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n[ETHERNET INTERFACE]\r\n"
                               "IP ADDRESS=" + endpoint.substr(0, endpoint.rfind(':')) + "\r\nUDP PORT=" +
                                   std::to_string(radio.udpPort()) + "\r\nPASSCODE=4321\r\n"
                                   "[ACTIVE INTERFACE]\r\nETHERNET=1\r\nSERIAL=0\r\n");
    } else {
      UseSerialPort(endpoint, c.stopOnErrors);
    }
    StartApp();
    const bool silent = c.radio.size() > 1 && c.radio[0] == "--silent-from";
    const QStringList expected = QString::fromLatin1(c.result).split(QLatin1Char('|'));
    const QStringList results =
        RunToTheEnd(c.command, file, silent, static_cast<int>(expected.size())).split(QLatin1Char('|'));
    ASSERT_EQ(results.size(), expected.size()) << results.join(QLatin1Char('|')).toStdString();
    for (qsizetype i = 0; i < results.size(); ++i) {
      EXPECT_TRUE(results[i].startsWith(expected[i])) << results[i].toStdString();
    }
    EXPECT_EQ(radio.Stop(), 0) << c.result;
    EndApp();
  }
}

TEST_F(OperationTest, AnExtendedMemoryRadioStoresTheFileInThePersonalityTheUserClicks) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "734", "--extended"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint());
  MainWindow& window = StartApp();
  sim::RufWriteOptions options;
  options.modelText = "Banwick 734";
  options.directives = {"#E010203"};
  const std::string file = WriteRuf("734.ruf", 4, options);

  // Closing the question cancels the update: no result, nothing of the file sent.
  auto cancel = OnModal<PersonalityDialog>([](PersonalityDialog* d) { d->close(); }, kOperationTimeoutMs);
  EXPECT_EQ(RunToTheEnd(ID_UPDATE_RADIO, file), QString());
  EXPECT_TRUE(cancel->answered());
  EXPECT_EQ(Read("comms.txt").find(" R< 45 "), std::string::npos);

  // Enter alone chooses nothing: the question stays until a personality is clicked.
  bool stayedOpen = false;
  auto personality = OnModal<PersonalityDialog>(
      [&](PersonalityDialog* dialog) {
        QTest::keyClick(dialog, Qt::Key_Return);
        stayedOpen = dialog->isVisible();
        dialog->personalityButton(4)->click();
      },
      kOperationTimeoutMs);
  EXPECT_EQ(RunToTheEnd(ID_UPDATE_RADIO, file), QStringLiteral("Flash Update Successfuly Completed !"));
  EXPECT_TRUE(stayedOpen);
  EXPECT_NE(Read("comms.txt").find(" R< 45 04 00 00 fc 0d "), std::string::npos) << "personality 4";
  EXPECT_EQ(window.statusPanes()->paneText(1), QStringLiteral("Banwick 734"));
}

// The radio stops answering after 57 lines: the operation waits, showing the
// progress it last showed (every line up to the 50th, then every tenth) and the
// resends, until the user quits.
TEST_F(OperationTest, QuittingDuringAnUpdateAsksFirstAndYesStopsItAndEndsTheProgram) {
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--silent-from", "60", "--verbose"});
  ASSERT_FALSE(radio.endpoint().empty());
  UseSerialPort(radio.endpoint());
  MainWindow& window = StartApp();
  // The keys the menus name: F2 begins the update, Alt-X quits.
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto choose = ChooseFile(WriteRuf("746.ruf", 100));
  QTest::keyClick(&window, Qt::Key_F2);
  ASSERT_TRUE(choose->answered());
  // Each look at the radio's report waits a little for it; the window runs in between.
  ASSERT_TRUE(WaitFor([&] { return radio.WaitForRequest(60, std::chrono::milliseconds{5}); })) << radio.err();
  EXPECT_EQ(window.statusPanes()->paneText(0), QStringLiteral("50 of 102 Lines Processed"));
  // One silence, cut short: the status bar names the line that waits and counts the resend.
  for (QTimer* timer : window.findChildren<QTimer*>()) {
    if (timer->isActive() && timer->interval() == kResponseTimeoutMs) timer->start(1);
  }
  ASSERT_TRUE(WaitFor([&] { return window.statusPanes()->paneText(0).contains(QStringLiteral("no answer")); }));
  const QString notice = window.statusPanes()->paneText(0);
  EXPECT_TRUE(notice.startsWith(QStringLiteral("Line ")) && notice.endsWith(QStringLiteral(": no answer, sending again (1 of 7)")))
      << notice.toStdString();
  EXPECT_FALSE(window.commandAction(ID_UPDATE_RADIO)->isEnabled() ||
               window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());

  // Enter answers No: a key pressed on the way does not leave the radio half written.
  EXPECT_TRUE(AnswerMessage([&] { window.close(); }, QMessageBox::NoButton)
                  .endsWith(QStringLiteral("may leave the radio unusable. Quit anyway?")));
  ASSERT_TRUE(window.isVisible() && window.engine().operationRunning());

  window.activateWindow();  // back from the question
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  QTimer::singleShot(0, &window, [&window] { QTest::keyClick(&window, Qt::Key_X, Qt::AltModifier); });
  AnswerMessage([&] { EXPECT_EQ(objects_->updateApp.Run(), 0); }, QMessageBox::Yes);
  EXPECT_FALSE(objects_->commsTrace.IsOpen() || objects_->serialPort.IsOpen());
  EXPECT_NE(Read("comms.txt").find("stopped by the user"), std::string::npos) << "closed as Stop closes it";
  EXPECT_NE(Read("update.ini").find("COMPORT=" + radio.endpoint()), std::string::npos) << "saved at the exit";
}

// A FIFO or a device chosen as the RUF file would block the window in its reading,
// and an address that cannot be resolved would be met by a minute of silences.
TEST_F(OperationTest, WhatCannotBeginIsToldAtOnceAndNothingBegins) {
  const std::string device = dir_.File("746-device.ruf");
  ASSERT_EQ(::symlink("/dev/null", device.c_str()), 0);
  // Two dots in a row: no lookup of this name ever leaves the machine.
  for (const auto& [ini, told] :
       {std::pair{std::string("[SERIAL INTERFACE]\nCOMPORT=COM1\n"), device + " is not a regular file."},
        std::pair{std::string("[ETHERNET INTERFACE]\nIP ADDRESS=radio..local\n"
                              "[ACTIVE INTERFACE]\nETHERNET=1\nSERIAL=0\n"),
                  std::string("The radio's address radio..local cannot be resolved (")}}) {
    dir_.Write("update.ini", ini);
    MainWindow& window = StartApp();
    auto choose = ChooseFile(device);
    const QString text = AnswerMessage([&] { EXPECT_TRUE(window.RunCommand(ID_UPDATE_RADIO)); });
    EXPECT_TRUE(text.startsWith(QString::fromStdString(told))) << text.toStdString();
    EXPECT_FALSE(window.engine().operationRunning() || window.lastOutcome());
    EndApp();
  }
}

// An argument switches error checking off, and each operation's log says so; once
// the user has changed the switch (the toggle, Setup), the choice is the user's and
// the log no longer names an argument, also when checking is off again.
TEST_F(OperationTest, TheLogNamesTheArgumentsSwitchOnlyWhileTheArgumentDecides) {
  const std::string file = WriteRuf("746.ruf", 1);
  const QString switchLine = QStringLiteral("Detected Command Line Switch");
  // The port is missing: the operation ends at once, with one message.
  const auto logOfAnUpdate = [&](MainWindow& window) {
    auto choose = ChooseFile(file);
    EXPECT_FALSE(AnswerMessage([&] { EXPECT_TRUE(window.RunCommand(ID_UPDATE_RADIO)); }).isEmpty());
    return window.outputPane()->toPlainText();
  };
  const auto stopOnErrors = [](MainWindow& window, bool ticked) {
    auto answer = OnModal<SetupDialog>([ticked](SetupDialog* d) {
      if (d->stopOnErrorsBox()->isChecked() != ticked) d->stopOnErrorsBox()->click();
      Click(d, "ok");
    });
    window.RunCommand(ID_SETUP);
    EXPECT_TRUE(answer->answered());
  };
  const std::vector<std::function<void(MainWindow&)>> changes = {
      [](MainWindow& w) {
        w.RunCommand(ID_TOGGLE_ERROR_CHECK);
        w.RunCommand(ID_TOGGLE_ERROR_CHECK);
      },
      [&](MainWindow& w) {
        stopOnErrors(w, true);
        stopOnErrors(w, false);
      }};
  for (const auto& change : changes) {
    UseSerialPort(dir_.File("no-such-port"));
    MainWindow& window = StartApp({"flash-update", "x"});
    EXPECT_TRUE(logOfAnUpdate(window).contains(switchLine));
    change(window);
    EXPECT_FALSE(window.IsCommandEnabled(ID_VERIFY_PROGRAM)) << "checking is off again";
    EXPECT_FALSE(logOfAnUpdate(window).contains(switchLine));
    EndApp();
  }
}

}  // namespace
}  // namespace flash::test
