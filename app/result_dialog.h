#pragma once

#include <QDialog>

#include "engine/engine_host.h"

class QLabel;
class QPushButton;

namespace flash {

// The fixed texts of a message dialog template.
struct ResultDialogTemplate {
  DialogId id;
  int widthUnits;
  int heightUnits;
  bool wrenchIcon;
  bool centred;
  bool closeBox;
};

// The template of dialog 113, 117, 118, 120, 121 or 122.
const ResultDialogTemplate& TemplateOf(DialogId id);

// One of the six message dialogs that report an outcome: its text and an OK
// button; OK or Esc closes it.
class ResultDialog : public QDialog {
  Q_OBJECT
 public:
  ResultDialog(DialogId id, QWidget* parent);

  DialogId id() const { return id_; }
  QString text() const;
  QPushButton* okButton() const { return ok_; }

 private:
  DialogId id_;
  QLabel* text_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace flash
