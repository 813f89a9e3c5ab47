#pragma once

#include <QDialog>

#include <array>

class QPushButton;

namespace flash {

// Asks which of the six memory locations of an extended-memory radio receives
// the file. selection() is 1 to 6, or -1 when the dialog was cancelled by the
// Cancel button, Esc or the close box.
class PersonalityDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PersonalityDialog(QWidget* parent);

  int selection() const { return selection_; }
  QPushButton* personalityButton(int personality) const;

  void reject() override;

 private:
  int selection_ = -1;
  std::array<QPushButton*, 6> buttons_{};
};

}  // namespace flash
