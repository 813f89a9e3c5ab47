// Setup: what the user typed or chose is what the link uses and update.ini keeps.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>

#include <cstdlib>
#include <tuple>

#include "app/command_ids.h"
#include "link/serial_device_list.h"
#include "app/setup_dialog.h"
#include "link/profile_text.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/radio_sim_process.h"

namespace flash::test {
namespace {

const std::vector<SerialDeviceEntry> kDevices = {
    {"/dev/ttyUSB10", "FTDI"}, {"/dev/ttyUSB2", ""}, {"/dev/serial/by-id/usb-FTDI-if00", "FTDI"}};

SetupValues Stored(const std::string& portName) {
  SetupValues values;
  values.portName = portName;
  return values;
}

TEST(SetupDialog, OpensAtTheStoredPortElseAtTheFirstEntryBeginningWithItWithoutRegardToCase) {
  // "COM1" begins COM10 to COM15 too: the first from the top wins. A stored device
  // unplugged now stays as it was, and is not taken for one whose name it begins.
  for (const auto& [stored, shown] :
       {std::pair{"COM3", "COM3"}, std::pair{"com12", "COM12"}, std::pair{"COM16", "COM1"},
        std::pair{"", "COM1"}, std::pair{"/dev/ttyUSB1", "/dev/ttyUSB1"},
        std::pair{"/dev/ttyUSB10", "/dev/ttyUSB10 (FTDI)"}}) {
    EXPECT_EQ(SetupDialog(Stored(stored), kDevices, nullptr).portList()->currentText(),
              QString::fromLatin1(shown))
        << stored;
  }
}

TEST(SetupDialog, OkStoresTheEntryChosenOrThePathTyped) {
  // A relative path is taken from the current folder, not from /dev.
  const std::string here = QDir::currentPath().toStdString() + "/radio-tty";
  for (const auto& [index, typed, stored] :
       {std::tuple{8, "", "COM9"}, std::tuple{17, "", "/dev/serial/by-id/usb-FTDI-if00"},
        std::tuple{-1, "", "COM-1"}, std::tuple{2, " /tmp/radio-tty ", "/tmp/radio-tty"},
        std::tuple{0, "demo/../radio-tty", here.c_str()}}) {
    SetupDialog dialog(Stored("COM1"), kDevices, nullptr);
    dialog.portList()->setCurrentIndex(index);
    if (*typed) dialog.portList()->setEditText(QString::fromLatin1(typed));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.values().portName, stored) << index << typed;
  }
}

TEST(SetupDialog, OkTakesNumbersUpTo65535AndOtherwiseWarnsAndStaysOnTheField) {
  // The warning names the field: the refused one is also focused.
  const std::string range = std::string("UDP port of radio: ") + kOutOfRangeWarning;
  const std::string notUnsigned = std::string("UDP port of radio: ") + kNotUnsignedWarning;
  const std::string passcodeNotUnsigned = std::string("Passcode of radio: ") + kNotUnsignedWarning;
  using Case = std::tuple<const char*, const char*, std::string>;  // UDP port, passcode, what OK does
  for (const auto& [udpPort, passcode, outcome] :
       std::vector<Case>{{" 65535 ", "0", "accepted 65535 0"}, {"65536", "1", "udpPort: " + range},
                         {"", "1", "udpPort: " + notUnsigned}, {"1", "-1", "passcode: " + passcodeNotUnsigned},
                         {"1", "99999999999", "passcode: " + passcodeNotUnsigned}}) {
    SetupDialog dialog(Stored("COM1"), {}, nullptr);
    dialog.show();
    dialog.ethernetBox()->click();  // the fields of the interface not chosen are greyed
    dialog.udpPortField()->setText(QString::fromLatin1(udpPort));
    dialog.passcodeField()->setText(QString::fromLatin1(passcode));
    std::string seen = AnswerMessage([&] { dialog.accept(); }).toStdString();
    if (dialog.result() == QDialog::Accepted) {
      const SetupValues& read = dialog.values();
      seen = "accepted " + std::to_string(read.udpPort) + " " + std::to_string(read.passcode);
    } else if (QWidget* focus = dialog.focusWidget()) {
      seen = focus->objectName().toStdString() + ": " + seen;
    }
    EXPECT_EQ(seen, outcome) << udpPort << " " << passcode;
  }
}

std::string Summary(const LinkSettings& s) {
  return s.comPort + " " + s.radioAddress + ":" + std::to_string(s.radioPort) + " #" +
         std::to_string(s.radioPasscode) + (s.serialActive ? " serial" : "") +
         (s.ethernetActive ? " ethernet" : "");
}

using SetupThroughWindowTest = AppTest;

// Verify is greyed while update.ini's "STOP ON ERRORS" is not 0, until Setup is
// closed with OK and its "Stop On Errors" box ticked. The box opens showing whether
// the radio's answers are checked: for every value but 1.
TEST_F(SetupThroughWindowTest, WhatTheDialogKeepsAfterOkOrCancelAndWhenVerifyIsGreyed) {
  struct Case {
    const char* what;
    const char* stopOnErrors;
    std::function<void(SetupDialog*)> act;
    const char* settings;
    bool verify;
  };
  const auto type = [](QLineEdit* field, const char* text) { field->setText(QString::fromLatin1(text)); };
  const std::vector<Case> cases = {
      {"Cancel keeps the interface clicked and nothing else", "5", [&](SetupDialog* d) {
         d->portList()->setCurrentIndex(10);
         d->ethernetBox()->click();
         type(d->passcodeField(), "999");
         Click(d, "cancel");
       }, "COM1 192.168.1.123:49152 #7 ethernet", false},
      {"an interface click brings back the values the dialog opened with", "1", [&](SetupDialog* d) {
         type(d->addressField(), "10.0.0.9");
         d->stopOnErrorsBox()->click();
         d->ethernetBox()->click();
         Click(d, "ok");
       }, "COM1 192.168.1.123:49152 #7 ethernet", false},
      {"a refused OK keeps what it had read, also after Cancel", "0", [&](SetupDialog* d) {
         d->ethernetBox()->click();
         type(d->addressField(), "10.1.2.3");
         type(d->udpPortField(), "65536");
         EXPECT_FALSE(AnswerMessage([&] { Click(d, "ok"); }).isEmpty());
         EXPECT_TRUE(d->isVisible());
         Click(d, "cancel");
       }, "COM1 10.1.2.3:65536 #7 ethernet", true},
      {"OK stores every field", "0", [&](SetupDialog* d) {
         d->ethernetBox()->click();
         type(d->addressField(), "127.0.0.2");
         type(d->udpPortField(), "49220");
         type(d->passcodeField(), "12345");
         d->stopOnErrorsBox()->click();
         Click(d, "ok");
       }, "COM1 127.0.0.2:49220 #12345 ethernet", false},
  };
  for (const Case& c : cases) {
    dir_.Write("update.ini", std::string("[SERIAL INTERFACE]\r\nSTOP ON ERRORS=") + c.stopOnErrors + "\r\n");
    MainWindow& window = StartApp();
    const bool verifyBefore = *c.stopOnErrors == '0';
    EXPECT_EQ(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled(), verifyBefore) << c.what;
    EXPECT_TRUE(verifyBefore || !window.RunCommand(ID_VERIFY_PROGRAM)) << "a greyed command never runs";
    auto answer = OnModal<SetupDialog>([&](SetupDialog* d) {
      EXPECT_EQ(d->stopOnErrorsBox()->isChecked(), std::string(c.stopOnErrors) != "1") << c.what;
      c.act(d);
    });
    window.commandAction(ID_SETUP)->trigger();
    ASSERT_TRUE(answer->answered()) << c.what;
    EXPECT_EQ(Summary(objects_->linkSettings), c.settings) << c.what;
    EXPECT_EQ(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled(), c.verify) << c.what;
    EndApp();
  }
}

// A device path typed into the port box is the port that the next Update opens,
// and update.ini keeps it whole at the exit.
TEST_F(SetupThroughWindowTest, ADevicePathTypedIsWhatUpdateOpensAndIsSavedAtTheExit) {
  // As long as a /dev/serial/by-id name.
  const std::string link = dir_.File(std::string(71 - dir_.File("x").size(), 't'));
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", link});
  UseSerialPort("COM1");
  MainWindow& window = StartApp();
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->portList()->setEditText(QString::fromStdString(link));
    Click(setup, "ok");
  });
  window.commandAction(ID_SETUP)->trigger();
  ASSERT_TRUE(answer->answered());
  EXPECT_TRUE(Read("update.ini").find(link) == std::string::npos) << "written only at the exit";
  EXPECT_EQ(RunToTheEnd(ID_UPDATE_RADIO, WriteRuf("746.ruf", 1)),
            QStringLiteral("Flash Update Successfuly Completed !"));
  EndApp();
  EXPECT_EQ(ProfileText(Read("update.ini")).Get("SERIAL INTERFACE", "COMPORT"), link);
}

// udev as umockdev plays it from usb_serial.umockdev (SerialDevicesUnderUmockdev runs
// this test there): two USB adapters, one with a stable name, and a standard port.
TEST(SerialDevices, ListsTheUsbAdaptersInNameOrderWithWhatTheyAreAndTheirStableNames) {
  if (std::getenv("UMOCKDEV_DIR") == nullptr) GTEST_SKIP() << "runs inside umockdev-run";
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"/dev/ttyUSB2", "Prolific Technology, Inc. USB-Serial Controller"},
      {"/dev/ttyUSB10", "FTDI FT232R USB UART, serial A50285BI, " + byId},
      {byId, "FTDI FT232R USB UART, serial A50285BI, /dev/ttyUSB10"}};
  std::vector<std::pair<std::string, std::string>> listed;
  for (const SerialDeviceEntry& device : ListSerialDevices()) {
    listed.emplace_back(device.path, device.description);
  }
  EXPECT_EQ(listed, expected);
  // One adapter found by its node or its stable name, as a station names what it flashed.
  for (const std::string& path : {byId, std::string("/dev/ttyUSB10")}) {
    const std::optional<SerialPortInfo> port = SerialPortOf(path);
    ASSERT_TRUE(port) << path;
    EXPECT_EQ(port->maker + "|" + port->model + "|" + port->serialNumber + "|" + port->node,
              "FTDI|FT232R USB UART|A50285BI|/dev/ttyUSB10");
  }
  EXPECT_FALSE(SerialPortOf("/dev/ttyUSB99"));
}

}  // namespace
}  // namespace flash::test
