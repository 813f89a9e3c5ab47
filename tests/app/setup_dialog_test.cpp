// The setup dialog: the port list, the interface choice, OK and Cancel.
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "app/command_ids.h"
#include "link/serial_device_list.h"
#include "app/setup_dialog.h"
#include "link/profile_text.h"
#include "tests/app/gui_test_support.h"
#include "tests/link/pty_pair.h"

#include <cstdlib>
#include <tuple>
#include <utility>

namespace flash::test {
namespace {

SetupValues Values(const std::string& portName) {
  SetupValues v;
  v.portName = portName;
  v.useSerial = 1;
  v.ipAddress = "192.168.1.123";
  v.udpPort = 49152;
  v.passcode = 7;
  return v;
}

TEST(SetupDialogPortList, OffersComOneToFifteenThenTheDevicesPresentWithWhatTheyAre) {
  SetupDialog dialog(Values("COM1"), {{"/dev/ttyUSB0", "FTDI FT232R USB UART"}, {"/dev/ttyACM1", ""}},
                     nullptr);
  QComboBox* list = dialog.portList();
  ASSERT_EQ(list->count(), 17);
  for (int n = 1; n <= 15; ++n) {
    EXPECT_EQ(list->itemText(n - 1), QStringLiteral("COM%1").arg(n));
    EXPECT_EQ(list->itemData(n - 1).toInt(), n);
  }
  EXPECT_EQ(list->itemText(15), QStringLiteral("/dev/ttyUSB0 (FTDI FT232R USB UART)"));
  EXPECT_EQ(list->itemText(16), QStringLiteral("/dev/ttyACM1"));
  EXPECT_TRUE(list->isEditable());
}

TEST(SetupDialogPortList, OpensAtTheStoredPortElseAtTheFirstEntryBeginningWithItWithoutRegardToCase) {
  const std::vector<SerialDeviceEntry> devices = {{"/dev/ttyUSB10", "FTDI"}, {"/dev/ttyUSB2", ""}};
  // "COM1" is a prefix of COM10 to COM15 too: the first from the top wins; a stored
  // device that is unplugged now stays as it was, and is not taken for one whose
  // name it begins.
  for (const auto& [stored, shown] :
       {std::pair{"COM3", "COM3"}, std::pair{"com12", "COM12"}, std::pair{"COM16", "COM1"},
        std::pair{"", "COM1"}, std::pair{"COM1", "COM1"}, std::pair{"/dev/ttyUSB1", "/dev/ttyUSB1"},
        std::pair{"/dev/ttyUSB10", "/dev/ttyUSB10 (FTDI)"}}) {
    EXPECT_EQ(SetupDialog(Values(stored), devices, nullptr).portList()->currentText(),
              QString::fromLatin1(shown))
        << stored;
  }
}

TEST(SetupDialogOpening, FillsTheControlsAndTicksStopOnErrors) {
  SetupValues v = Values("COM2");
  v.stopOnErrors = 0;
  v.passcode = 12345;
  SetupDialog dialog(v, {}, nullptr);
  EXPECT_TRUE(dialog.serialBox()->isChecked());
  EXPECT_FALSE(dialog.ethernetBox()->isChecked());
  EXPECT_TRUE(dialog.stopOnErrorsBox()->isChecked());
  EXPECT_EQ(dialog.addressField()->text(), QStringLiteral("192.168.1.123"));
  EXPECT_EQ(dialog.udpPortField()->text(), QStringLiteral("49152"));
  EXPECT_EQ(dialog.passcodeField()->text(), QStringLiteral("12345"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup Communications"));
}

TEST(SetupDialogInterface, ClickingAnInterfaceRefillsTheFieldsFromTheValues) {
  SetupDialog dialog(Values("COM1"), {}, nullptr);
  dialog.addressField()->setText(QStringLiteral("10.0.0.9"));
  dialog.stopOnErrorsBox()->setChecked(false);
  dialog.ethernetBox()->click();
  EXPECT_TRUE(dialog.ethernetBox()->isChecked());
  EXPECT_FALSE(dialog.serialBox()->isChecked());
  EXPECT_EQ(dialog.addressField()->text(), QStringLiteral("192.168.1.123"));
  EXPECT_TRUE(dialog.stopOnErrorsBox()->isChecked());
  // A click on the box already chosen keeps it chosen.
  dialog.ethernetBox()->click();
  EXPECT_TRUE(dialog.ethernetBox()->isChecked());
  dialog.addressField()->setText(QStringLiteral("10.0.0.10"));
  dialog.serialBox()->click();
  EXPECT_TRUE(dialog.serialBox()->isChecked());
  EXPECT_FALSE(dialog.ethernetBox()->isChecked());
  EXPECT_EQ(dialog.addressField()->text(), QStringLiteral("192.168.1.123"));
}

TEST(SetupDialogOk, StoresTheSelectedEntryOrWhatWasTyped) {
  const std::vector<SerialDeviceEntry> devices = {
      {"/dev/ttyUSB0", "FTDI"}, {"/dev/serial/by-id/usb-FTDI-if00", "FTDI, /dev/ttyUSB0"}};
  // A relative path is taken from the current folder, not from /dev.
  const std::string here = QDir::currentPath().toStdString() + "/radio-tty";
  for (const auto& [index, typed, stored] :
       {std::tuple{8, "", "COM9"}, std::tuple{16, "", "/dev/serial/by-id/usb-FTDI-if00"},
        std::tuple{-1, "", "COM-1"},  // no entry: made with -1
        std::tuple{2, " /tmp/radio-tty ", "/tmp/radio-tty"}, std::tuple{-1, "COM7", "COM7"},
        std::tuple{0, "demo/../radio-tty", here.c_str()}}) {
    SetupDialog dialog(Values("COM1"), devices, nullptr);
    dialog.portList()->setCurrentIndex(index);
    if (*typed) dialog.portList()->setEditText(QString::fromLatin1(typed));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.values().portName, stored) << index << typed;
  }
}

TEST(SetupDialogOk, AcceptsBlanksAroundANumberAndTheLimits) {
  SetupDialog dialog(Values("COM1"), {}, nullptr);
  dialog.udpPortField()->setText(QStringLiteral(" 65535 "));
  dialog.passcodeField()->setText(QStringLiteral("0"));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().udpPort, 65535u);
  EXPECT_EQ(dialog.values().passcode, 0u);
}

struct Refusal {
  QString field;
  QString number;
  QString warning;
};

void PrintTo(const Refusal& r, std::ostream* out) {
  *out << r.field.toStdString() << " \"" << r.number.toStdString() << "\"";
}

class SetupDialogRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SetupDialogRefusal, WarnsFocusesTheFieldAndStaysOpen) {
  const Refusal& r = GetParam();
  SetupDialog dialog(Values("COM1"), {}, nullptr);
  dialog.show();
  auto* field = dialog.findChild<QLineEdit*>(r.field);
  ASSERT_NE(field, nullptr);
  field->setText(r.number);
  QString warning;
  auto answer = OnModal<QMessageBox>([&](QMessageBox* box) {
    warning = box->text();
    box->accept();
  });
  dialog.accept();
  EXPECT_TRUE(answer->answered());
  EXPECT_EQ(warning, r.warning);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.focusWidget(), field);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SetupDialogRefusal,
    ::testing::Values(Refusal{"udpPort", "65536", kOutOfRangeWarning},
                      Refusal{"udpPort", "4x", kNotUnsignedWarning},
                      Refusal{"udpPort", "", kNotUnsignedWarning},
                      Refusal{"passcode", "-1", kNotUnsignedWarning},
                      Refusal{"passcode", "99999999999", kNotUnsignedWarning},
                      Refusal{"passcode", "70000", kOutOfRangeWarning}));

// udev as umockdev plays it from usb_serial.umockdev (the test
// SerialDevicesUnderUmockdev runs this one there): two USB adapters, one with a
// stable name, one known to the hardware database only by its maker, and a
// standard port that is no USB adapter.
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
}

// Through the window: what the opener copies back into the link settings.
using SetupThroughWindowTest = AppTest;

TEST_F(SetupThroughWindowTest, RefusedOkThenCancelKeepsWhatTheRefusedOkHadRead) {
  WriteWorkFile("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=1\r\n");
  MainWindow& window = StartApp();
  bool stayedOpen = false;
  bool focusOnPort = false;
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->addressField()->setText(QStringLiteral("10.1.2.3"));
    setup->udpPortField()->setText(QStringLiteral("65536"));
    auto warning = OnModal<QMessageBox>([](QMessageBox* box) { box->accept(); });
    ClickButton(setup, QStringLiteral("ok"));
    stayedOpen = setup->isVisible() && warning->answered();
    focusOnPort = setup->focusWidget() == setup->udpPortField();
    ClickButton(setup, QStringLiteral("cancel"));
  });
  window.RunCommand(ID_SETUP);
  ASSERT_TRUE(answer->answered());
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(focusOnPort);
  const LinkSettings& s = objects_->linkSettings;
  EXPECT_EQ(s.radioAddress, "10.1.2.3");
  EXPECT_EQ(s.radioPort, 65536);
  EXPECT_TRUE(s.serialActive);
  EXPECT_FALSE(s.ethernetActive);
  EXPECT_EQ(s.comPort, "COM1");
  EXPECT_FALSE(window.IsCommandEnabled(ID_VERIFY_PROGRAM)) << "Cancel leaves the switch alone";
}

TEST_F(SetupThroughWindowTest, ClickingEthernetThenCancelKeepsTheInterfaceChoiceOnly) {
  MainWindow& window = StartApp();
  objects_->linkSettings.comPort = "COM4";
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->passcodeField()->setText(QStringLiteral("999"));
    setup->portList()->setCurrentIndex(10);
    setup->ethernetBox()->click();
    ClickButton(setup, QStringLiteral("cancel"));
  });
  window.RunCommand(ID_SETUP);
  ASSERT_TRUE(answer->answered());
  const LinkSettings& s = objects_->linkSettings;
  EXPECT_TRUE(s.ethernetActive);
  EXPECT_FALSE(s.serialActive);
  EXPECT_EQ(s.comPort, "COM4");
  EXPECT_EQ(s.radioPasscode, 7);
  EXPECT_EQ(s.radioPort, 49152);
  EXPECT_EQ(s.radioAddress, "192.168.1.123");
  EXPECT_FALSE(window.IsCommandEnabled(ID_VERIFY_PROGRAM));
}

// (The port chosen reaches the file too: see the long device path below.)
TEST_F(SetupThroughWindowTest, OkStoresEveryFieldWhichAreWrittenOnlyAtExit) {
  MainWindow& window = StartApp();
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->ethernetBox()->click();
    setup->addressField()->setText(QStringLiteral("127.0.0.2"));
    setup->udpPortField()->setText(QStringLiteral("49220"));
    setup->passcodeField()->setText(QStringLiteral("12345"));
    ClickButton(setup, QStringLiteral("ok"));
  });
  window.RunCommand(ID_SETUP);
  ASSERT_TRUE(answer->answered());
  const LinkSettings& s = objects_->linkSettings;
  EXPECT_EQ(s.radioAddress, "127.0.0.2");
  EXPECT_EQ(s.radioPort, 49220);
  EXPECT_EQ(s.radioPasscode, 12345);
  EXPECT_TRUE(s.ethernetActive);
  EXPECT_FALSE(s.serialActive);
  EXPECT_TRUE(window.IsCommandEnabled(ID_VERIFY_PROGRAM));
  EXPECT_TRUE(ReadWorkFile("update.ini").empty());
  EndApp();
  const std::string ini = ReadWorkFile("update.ini");
  EXPECT_NE(ini.find("PASSCODE=12345"), std::string::npos) << ini;
}

// A device path as long as a /dev/serial/by-id name, given in update.ini or typed
// into the port box, is the port that the next Update opens, and is saved whole.
TEST_F(SetupThroughWindowTest, ALongDevicePathFromTheFileOrTypedIsWhatUpdateOpensAndIsSavedWhole) {
  for (const bool typed : {false, true}) {
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string link = WorkFile(std::string(71 - WorkFile("x").size(), typed ? 't' : 'f'));
    ASSERT_EQ(link.size(), 70u);
    ASSERT_EQ(::symlink(pty.slaveName().c_str(), link.c_str()), 0);
    WriteWorkFile("update.ini", typed ? "" : "[SERIAL INTERFACE]\r\nCOMPORT=" + link + "\r\n");
    MainWindow& window = StartApp();
    if (typed) {
      auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
        setup->portList()->setEditText(QString::fromStdString(link));
        ClickButton(setup, QStringLiteral("ok"));
      });
      window.RunCommand(ID_SETUP);
      ASSERT_TRUE(answer->answered());
    }
    auto choose = OnModal<QFileDialog>([](QFileDialog* chooser) {
      chooser->selectFile(QStringLiteral(FLASH_SOURCE_DIR "/examples/746-demo.ruf"));
      static_cast<QDialog*>(chooser)->accept();
    });
    QString message;  // "That PORT is not available" when another port was opened
    auto unexpected = OnModal<QMessageBox>([&](QMessageBox* box) {
      message = box->text();
      box->accept();
    }, 300);
    window.RunCommand(ID_UPDATE_RADIO);
    EXPECT_TRUE(message.isEmpty()) << message.toStdString();
    const std::vector<std::uint8_t> request = pty.RadioReceivesThrough('\r', std::chrono::seconds{2});
    EXPECT_EQ(std::string(request.begin(), request.end()), "?V\r") << typed;
    window.CloseWithoutAsking();
    EndApp();
    EXPECT_EQ(ProfileText(ReadWorkFile("update.ini")).Get("SERIAL INTERFACE", "COMPORT"), link);
  }
}

}  // namespace
}  // namespace flash::test
