#include "app/setup_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QAbstractItemView>
#include <QPushButton>

#include <algorithm>
#include <optional>

#include "app/dialog_look.h"
#include "app/program_texts.h"
#include "engine/serial_port_name.h"

namespace flash {
namespace {

constexpr int kComPortCount = 15;
constexpr std::uint32_t kLargestNumber = 65535;
// Item data of a device entry; COM entries carry their number instead.
constexpr int kDevicePathRole = Qt::UserRole + 1;

QLabel* Text(const QString& text, const QRect& where, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(where);
  return label;
}

// An unsigned decimal number with optional blanks around it; no sign, and it
// must fit the 32 bits of the value it goes into.
std::optional<std::uint32_t> ParseUnsigned(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  std::uint64_t value = 0;
  for (QChar c : trimmed) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace

SetupDialog::SetupDialog(const SetupValues& initial, const std::vector<SerialDeviceEntry>& devices,
                         QWidget* parent)
    : QDialog(parent), values_(initial) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle(QStringLiteral("Setup Communications"));
  setObjectName(QStringLiteral("SetupDialog123"));
  const DialogUnits du = PrepareDialog(*this, 246, 180);

  serialBox_ = new QCheckBox(QStringLiteral("Serial Port"), this);
  serialBox_->setObjectName(QStringLiteral("serial"));
  serialBox_->setGeometry(du.Rect(7, 7, 80, 10));
  serialFields_.push_back(
      Text(QStringLiteral("Select the serial communications port that you want to use."),
           du.Rect(17, 20, 150, 16), this));
  portList_ = new QComboBox(this);
  portList_->setObjectName(QStringLiteral("port"));
  portList_->setEditable(true);
  // Typed text never becomes an entry; OK stores it as it was typed.
  portList_->setInsertPolicy(QComboBox::NoInsert);
  portList_->setGeometry(du.Rect(17, 38, 150, 12));
  serialFields_.push_back(portList_);

  ethernetBox_ = new QCheckBox(QStringLiteral("Ethernet"), this);
  ethernetBox_->setObjectName(QStringLiteral("ethernet"));
  ethernetBox_->setGeometry(du.Rect(7, 60, 80, 10));

  ethernetFields_.push_back(
      Text(QStringLiteral("IP Address of radio"), du.Rect(17, 74, 80, 9), this));
  addressField_ = new QLineEdit(this);
  addressField_->setObjectName(QStringLiteral("address"));
  ethernetFields_.push_back(addressField_);
  addressField_->setGeometry(du.Rect(17, 84, 80, 12));
  ethernetFields_.push_back(
      Text(QStringLiteral("Example: 192.168.1.10"), du.Rect(103, 86, 90, 9), this));

  ethernetFields_.push_back(
      Text(QStringLiteral("UDP port of radio"), du.Rect(17, 101, 80, 9), this));
  udpPortField_ = new QLineEdit(this);
  udpPortField_->setObjectName(QStringLiteral("udpPort"));
  ethernetFields_.push_back(udpPortField_);
  udpPortField_->setGeometry(du.Rect(17, 111, 80, 12));
  ethernetFields_.push_back(Text(QStringLiteral("Example: 49220"), du.Rect(103, 113, 90, 9), this));

  ethernetFields_.push_back(
      Text(QStringLiteral("Passcode of radio"), du.Rect(17, 128, 80, 9), this));
  passcodeField_ = new QLineEdit(this);
  passcodeField_->setObjectName(QStringLiteral("passcode"));
  ethernetFields_.push_back(passcodeField_);
  passcodeField_->setGeometry(du.Rect(17, 138, 80, 12));
  ethernetFields_.push_back(Text(QStringLiteral("Example: 12345"), du.Rect(103, 140, 90, 9), this));

  stopOnErrorsBox_ = new QCheckBox(QStringLiteral("Stop On Errors"), this);
  stopOnErrorsBox_->setObjectName(QStringLiteral("stopOnErrors"));
  stopOnErrorsBox_->setGeometry(du.Rect(7, 160, 80, 10));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  ok->setGeometry(du.Rect(189, 7, 50, 14));
  connect(ok, &QPushButton::clicked, this, &SetupDialog::accept);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  cancel->setGeometry(du.Rect(189, 24, 50, 14));
  connect(cancel, &QPushButton::clicked, this, &SetupDialog::reject);

  connect(serialBox_, &QCheckBox::clicked, this, &SetupDialog::ChooseSerial);
  connect(ethernetBox_, &QCheckBox::clicked, this, &SetupDialog::ChooseEthernet);

  FillPortList(devices);
  SelectPort();
  FillControls();
}

void SetupDialog::FillPortList(const std::vector<SerialDeviceEntry>& devices) {
  portList_->clear();
  for (int n = 1; n <= kComPortCount; ++n) portList_->addItem(QStringLiteral("COM%1").arg(n), n);
  std::vector<SerialDeviceEntry> offered = devices;
  // A stored device that is unplugged right now is still offered, so that closing
  // the dialog does not silently move the link to another port.
  if (!values_.portName.empty() && values_.portName.front() == '/' &&
      std::none_of(offered.begin(), offered.end(),
                   [this](const SerialDeviceEntry& d) { return d.path == values_.portName; })) {
    offered.push_back({values_.portName, {}});
  }
  for (const SerialDeviceEntry& device : offered) {
    const QString path = QString::fromStdString(device.path);
    const QString description = QString::fromStdString(device.description);
    portList_->addItem(description.isEmpty() ? path : path + QStringLiteral(" (") + description +
                                                          QStringLiteral(")"),
                       -1);
    portList_->setItemData(portList_->count() - 1, path, kDevicePathRole);
    portList_->setItemData(portList_->count() - 1, description, Qt::ToolTipRole);
  }
  // The list may be wider than the box, so that the descriptions can be read whole.
  portList_->view()->setMinimumWidth(portList_->view()->sizeHintForColumn(0));
}

void SetupDialog::SelectPort() {
  int selected = 0;
  if (!values_.portName.empty()) {
    const QString name = QString::fromStdString(values_.portName);
    // The stored port itself first: by the prefix rule alone a stored /dev/ttyUSB1
    // would select /dev/ttyUSB10.
    selected = portList_->findData(name, kDevicePathRole);
    for (int i = 0; selected < 0 && i < portList_->count(); ++i) {
      if (portList_->itemText(i).startsWith(name, Qt::CaseInsensitive)) selected = i;
    }
    if (selected < 0) selected = 0;
  }
  portList_->setCurrentIndex(selected);
}

void SetupDialog::FillControls() {
  serialBox_->setChecked(values_.useSerial != 0);
  stopOnErrorsBox_->setChecked(values_.stopOnErrors != 0);
  addressField_->setText(QString::fromStdString(values_.ipAddress));
  ethernetBox_->setChecked(values_.useEthernet != 0);
  udpPortField_->setText(QString::number(values_.udpPort));
  passcodeField_->setText(QString::number(values_.passcode));
  GreyUnchosenInterface();
}

void SetupDialog::GreyUnchosenInterface() {
  for (QWidget* w : serialFields_) w->setEnabled(serialBox_->isChecked());
  for (QWidget* w : ethernetFields_) w->setEnabled(ethernetBox_->isChecked());
}

void SetupDialog::Refuse(QLineEdit* field, const char* fieldName, const char* warning) {
  QMessageBox::warning(this, QString::fromLatin1(kProgramName),
                       QString::fromLatin1(fieldName) + QStringLiteral(": ") +
                           QString::fromLatin1(warning));
  field->setFocus();
  field->selectAll();
}

bool SetupDialog::ReadNumber(QLineEdit* field, const char* fieldName, std::uint32_t& value) {
  const std::optional<std::uint32_t> number = ParseUnsigned(field->text());
  if (!number) {
    Refuse(field, fieldName, kNotUnsignedWarning);
    return false;
  }
  // The number is kept even when its range is wrong.
  value = *number;
  if (value > kLargestNumber) {
    Refuse(field, fieldName, kOutOfRangeWarning);
    return false;
  }
  return true;
}

bool SetupDialog::ReadControls() {
  values_.stopOnErrors = stopOnErrorsBox_->isChecked() ? 1 : 0;
  values_.ipAddress = addressField_->text().toStdString();
  values_.useEthernet = ethernetBox_->isChecked() ? 1 : 0;
  // Greyed fields cannot be mended, so they cannot refuse the dialog: they keep
  // the values they came with.
  if (udpPortField_->isEnabled() &&
      !ReadNumber(udpPortField_, "UDP port of radio", values_.udpPort)) {
    return false;
  }
  if (passcodeField_->isEnabled() &&
      !ReadNumber(passcodeField_, "Passcode of radio", values_.passcode)) {
    return false;
  }
  values_.useSerial = serialBox_->isChecked() ? 1 : 0;
  return true;
}

std::string SetupDialog::SelectedPortName() const {
  const int index = portList_->currentIndex();
  // What the user typed into the box (a device path, a link to one) is stored as typed.
  const QString typed = portList_->currentText().trimmed();
  if (!typed.isEmpty() && (index < 0 || typed != portList_->itemText(index))) {
    return PortSettingFor(typed.toStdString());
  }
  if (index >= 0) {
    const QVariant path = portList_->itemData(index, kDevicePathRole);
    if (path.isValid()) return path.toString().toStdString();
  }
  const int number = index >= 0 ? portList_->itemData(index).toInt() : -1;
  return "COM" + std::to_string(number);
}

void SetupDialog::accept() {
  if (!ReadControls()) return;
  values_.portName = SelectedPortName();
  QDialog::accept();
}

void SetupDialog::ChooseSerial() {
  values_.useSerial = 1;
  values_.useEthernet = 0;
  FillControls();
}

void SetupDialog::ChooseEthernet() {
  values_.useSerial = 0;
  values_.useEthernet = 1;
  FillControls();
}

}  // namespace flash
