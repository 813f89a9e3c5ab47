#pragma once

#include <QDialog>

#include "engine/engine_host.h"

class QLabel;

namespace flash {

// The fixed texts of a message dialog template.
struct ResultDialogTemplate {
  DialogId id;
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

  QString text() const;

 private:
  QLabel* text_ = nullptr;
};

}  // namespace flash
