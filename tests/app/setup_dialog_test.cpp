// The setup dialog: the port list, the interface choice, OK and Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>

#include "app/command_ids.h"
#include "app/serial_device_list.h"
#include "app/setup_dialog.h"
#include "tests/app/gui_test_support.h"

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

TEST(SetupDialogPortList, OffersComOneToFifteenThenTheDevicesPresent) {
  SetupDialog dialog(Values("COM1"), {"/dev/ttyUSB0", "/dev/ttyACM1"}, nullptr);
  QComboBox* list = dialog.portList();
  ASSERT_EQ(list->count(), 17);
  for (int n = 1; n <= 15; ++n) {
    EXPECT_EQ(list->itemText(n - 1), QStringLiteral("COM%1").arg(n));
    EXPECT_EQ(list->itemData(n - 1).toInt(), n);
  }
  EXPECT_EQ(list->itemText(15), QStringLiteral("/dev/ttyUSB0"));
  EXPECT_EQ(list->itemText(16), QStringLiteral("/dev/ttyACM1"));
  EXPECT_TRUE(list->isEditable());
}

TEST(SetupDialogPortList, OpensAtTheFirstEntryBeginningWithThePortNameWithoutRegardToCase) {
  const std::vector<std::string> devices = {"/dev/ttyUSB1", "/dev/ttyUSB10"};
  // "COM1" is a prefix of COM10 to COM15 too: the first from the top wins; a stored
  // device that is unplugged now stays as it was.
  for (const auto& [stored, shown] :
       {std::pair{"COM3", "COM3"}, std::pair{"com12", "COM12"}, std::pair{"COM16", "COM1"},
        std::pair{"", "COM1"}, std::pair{"COM1", "COM1"}, std::pair{"/dev/ttyusb1", "/dev/ttyUSB1"},
        std::pair{"/dev/ttyUSB3", "/dev/ttyUSB3"}}) {
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

TEST(SetupDialogOk, StoresTheSelectedEntryNotTheTypedText) {
  const std::vector<std::string> devices = {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00"};
  for (const auto& [index, stored] : {std::pair{8, "COM9"},
                                      std::pair{16, "/dev/serial/by-id/usb-FTDI-if00"},
                                      std::pair{-1, "COM-1"}}) {  // no entry: made with -1
    SetupDialog dialog(Values("COM1"), devices, nullptr);
    dialog.portList()->setCurrentIndex(index);
    if (index >= 0) dialog.portList()->setEditText(QStringLiteral("typed text is never used"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.values().portName, stored);
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

TEST(SerialDevices, ListsUsbAndAcmDevicesAndTheirStableNames) {
  QTemporaryDir dev;
  ASSERT_TRUE(QDir(dev.path()).mkpath(QStringLiteral("serial/by-id")));
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "serial/by-id/usb-FTDI-if00"}) {
    QFile file(dev.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  }
  const std::string root = dev.path().toStdString();
  const std::vector<std::string> expected = {root + "/ttyUSB2", root + "/ttyUSB10",
                                             root + "/ttyACM0",
                                             root + "/serial/by-id/usb-FTDI-if00"};
  EXPECT_EQ(ListSerialDevices(root), expected);
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
  EXPECT_EQ(window.engine().state().ignoreErrors, 1) << "Cancel leaves the switch alone";
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
  EXPECT_EQ(window.engine().state().ignoreErrors, 1);
}

TEST_F(SetupThroughWindowTest, OkStoresEveryFieldAndADevicePathWhichAreWrittenOnlyAtExit) {
  MainWindow& window = StartApp();
  window.SetSerialDeviceLister([] { return std::vector<std::string>{"/dev/ttyUSB0"}; });
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->ethernetBox()->click();
    setup->addressField()->setText(QStringLiteral("127.0.0.2"));
    setup->udpPortField()->setText(QStringLiteral("49220"));
    setup->passcodeField()->setText(QStringLiteral("12345"));
    setup->portList()->setCurrentIndex(setup->portList()->findText(QStringLiteral("/dev/ttyUSB0")));
    ClickButton(setup, QStringLiteral("ok"));
  });
  window.RunCommand(ID_SETUP);
  ASSERT_TRUE(answer->answered());
  const LinkSettings& s = objects_->linkSettings;
  EXPECT_EQ(s.comPort, "/dev/ttyUSB0");
  EXPECT_EQ(s.radioAddress, "127.0.0.2");
  EXPECT_EQ(s.radioPort, 49220);
  EXPECT_EQ(s.radioPasscode, 12345);
  EXPECT_TRUE(s.ethernetActive);
  EXPECT_FALSE(s.serialActive);
  EXPECT_EQ(window.engine().state().ignoreErrors, 0);
  EXPECT_TRUE(ReadWorkFile("update.ini").empty());
  EndApp();
  const std::string ini = ReadWorkFile("update.ini");
  EXPECT_NE(ini.find("COMPORT=/dev/ttyUSB0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("PASSCODE=12345"), std::string::npos) << ini;
}

}  // namespace
}  // namespace flash::test
