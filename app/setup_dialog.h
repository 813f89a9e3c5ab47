#pragma once

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "link/serial_device_list.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace flash {

// The values the setup dialog exchanges with its controls.
struct SetupValues {
  std::string portName;
  // 1: the box is ticked, the radio's answers are checked. The opener gives the
  // state in force, so that the box never shows checking that is not done.
  std::int32_t stopOnErrors = 1;
  std::string ipAddress;
  std::int32_t useEthernet = 0;
  std::uint32_t udpPort = 0;
  std::uint32_t passcode = 0;
  std::int32_t useSerial = 0;
};

inline constexpr const char* kNotUnsignedWarning = "Please enter an unsigned number.";
inline constexpr const char* kOutOfRangeWarning = "Please enter a number between 0 and 65535.";

// "Setup Communications": the serial port, the radio's network address, UDP port
// and passcode, the active interface and the error-checking switch.
class SetupDialog : public QDialog {
  Q_OBJECT
 public:
  // devices: the serial devices present on the machine, listed after COM1..COM15
  // with what they are; choosing one stores its path.
  SetupDialog(const SetupValues& initial, const std::vector<SerialDeviceEntry>& devices,
              QWidget* parent);

  const SetupValues& values() const { return values_; }

  QComboBox* portList() const { return portList_; }
  QCheckBox* serialBox() const { return serialBox_; }
  QCheckBox* ethernetBox() const { return ethernetBox_; }
  QCheckBox* stopOnErrorsBox() const { return stopOnErrorsBox_; }
  QLineEdit* addressField() const { return addressField_; }
  QLineEdit* udpPortField() const { return udpPortField_; }
  QLineEdit* passcodeField() const { return passcodeField_; }

  void accept() override;

 private:
  void FillPortList(const std::vector<SerialDeviceEntry>& devices);
  void SelectPort();
  void FillControls();
  // Reads the controls into the values in their fixed order; false at the first
  // field that fails, after the warning has been shown and the field focused.
  bool ReadControls();
  // fieldName heads the warning, so that the user knows which field is wrong.
  bool ReadNumber(QLineEdit* field, const char* fieldName, std::uint32_t& value);
  void Refuse(QLineEdit* field, const char* fieldName, const char* warning);
  // The fields of the interface not chosen are greyed.
  void GreyUnchosenInterface();
  void ChooseSerial();
  void ChooseEthernet();
  std::string SelectedPortName() const;

  SetupValues values_;
  QComboBox* portList_ = nullptr;
  QCheckBox* serialBox_ = nullptr;
  QCheckBox* ethernetBox_ = nullptr;
  QCheckBox* stopOnErrorsBox_ = nullptr;
  QLineEdit* addressField_ = nullptr;
  QLineEdit* udpPortField_ = nullptr;
  QLineEdit* passcodeField_ = nullptr;
  std::vector<QWidget*> serialFields_;
  std::vector<QWidget*> ethernetFields_;
};

}  // namespace flash
