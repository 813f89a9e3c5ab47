#include "app/setup_dialog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
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

QLabel* Text(const QString& text) {
  auto* label = new QLabel(text);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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
  const int indent = 2 * QFontMetrics(DialogFont()).averageCharWidth();
  auto* content = new QVBoxLayout;

  serialBox_ = new QCheckBox(QStringLiteral("Serial Port"));
  serialBox_->setObjectName(QStringLiteral("serial"));
  content->addWidget(serialBox_);
  auto* serial = new QVBoxLayout;
  serial->setContentsMargins(indent, 0, 0, 0);
  serialFields_.push_back(
      WrappedText(QStringLiteral("Select the serial communications port that you want to use."),
                  30, nullptr));
  serial->addWidget(serialFields_.back());
  portList_ = new QComboBox;
  portList_->setObjectName(QStringLiteral("port"));
  portList_->setEditable(true);
  // Typed text never becomes an entry; OK stores it as it was typed.
  portList_->setInsertPolicy(QComboBox::NoInsert);
  // A long /dev/serial/by-id path fits as far as the screen allows, scrolls in the
  // box, and shows whole on hover.
  portList_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  portList_->setMinimumContentsLength(30);
  connect(portList_, &QComboBox::currentTextChanged, portList_, &QWidget::setToolTip);
  serialFields_.push_back(portList_);
  serial->addWidget(portList_);
  content->addLayout(serial);

  ethernetBox_ = new QCheckBox(QStringLiteral("Ethernet"));
  ethernetBox_->setObjectName(QStringLiteral("ethernet"));
  content->addWidget(ethernetBox_);
  auto* ethernet = new QGridLayout;
  ethernet->setContentsMargins(indent, 0, 0, 0);
  int row = 0;
  const auto addField = [&](const char* label, const char* example, const char* name) {
    auto* field = new QLineEdit;
    field->setObjectName(QString::fromLatin1(name));
    ethernetFields_.push_back(Text(QString::fromLatin1(label)));
    ethernet->addWidget(ethernetFields_.back(), row++, 0);
    ethernetFields_.push_back(field);
    ethernet->addWidget(field, row, 0);
    ethernetFields_.push_back(Text(QString::fromLatin1(example)));
    ethernet->addWidget(ethernetFields_.back(), row++, 1);
    return field;
  };
  addressField_ = addField("IP Address of radio", "Example: 192.168.1.10", "address");
  udpPortField_ = addField("UDP port of radio", "Example: 49220", "udpPort");
  passcodeField_ = addField("Passcode of radio", "Example: 12345", "passcode");
  content->addLayout(ethernet);

  stopOnErrorsBox_ = new QCheckBox(QStringLiteral("Stop On Errors"));
  stopOnErrorsBox_->setObjectName(QStringLiteral("stopOnErrors"));
  content->addSpacing(QFontMetrics(DialogFont()).height() / 2);
  content->addWidget(stopOnErrorsBox_);
  content->addStretch(1);

  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &SetupDialog::accept);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &SetupDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  LayOutDialog(*this, content, buttons, Qt::Horizontal);

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
    portList_->setItemData(portList_->count() - 1, portList_->itemText(portList_->count() - 1),
                           Qt::ToolTipRole);
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
  // A long path opens at its beginning; the rest scrolls into sight.
  portList_->lineEdit()->setCursorPosition(0);
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
