#include "app/result_dialog.h"

#include <QLabel>
#include <QPushButton>

#include <array>

#include "app/dialog_look.h"
#include "app/program_icons.h"

namespace flash {
namespace {

constexpr std::array<ResultDialogTemplate, 6> kTemplates = {{
    {DialogId::CommFailure, "Error Encountered", 187, 95, true, false, true,
     "Communication with the radio has failed. Since a programming operation was interrupted "
     "the radio may not function properly. Check for proper power and interface connections. "
     "Cycle the power on the radio and retry the programming operation."},
    {DialogId::ProgramSuccess, "Flash Update", 187, 47, false, true, false,
     "Flash Update Successfuly Completed !"},
    {DialogId::VerifySuccess, "Flash Verification", 187, 47, false, true, false,
     "File and Firmware Sucessfully Verified"},
    {DialogId::ProcessingComplete, "Flash Loader", 187, 95, false, false, false,
     "File Processing Complete! \r\n\r\nThere is no way to determine if Flash Updating was "
     "successful because error checking was turned off."},
    {DialogId::VerifyFailure, "Dialog", 187, 102, false, false, false,
     "The selected file does not match the contents of the radio's Flash Memory system. You may "
     "be using the wrong RUF file for comparison. Cycle the power on the radio and confirm the "
     "firmware revision and try again. You may want to reprogram and reverify."},
    {DialogId::ProgramFailure, "Dialog", 187, 69, false, false, true,
     "Unable to update the radio's Flash Memory with the selected file. Confirm that the radio "
     "is connected and powered and that the update file is a valid Rom Update File (RUF) for "
     "this radio."},
}};

}  // namespace

const ResultDialogTemplate& TemplateOf(DialogId id) {
  for (const auto& t : kTemplates) {
    if (t.id == id) return t;
  }
  // An id outside the six templates is reported as the general failure.
  return kTemplates[5];
}

ResultDialog::ResultDialog(DialogId id, QWidget* parent) : QDialog(parent), id_(id) {
  const ResultDialogTemplate& t = TemplateOf(id);
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (t.closeBox) flags |= Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setWindowTitle(QString::fromLatin1(t.title));
  setObjectName(QStringLiteral("ResultDialog%1").arg(static_cast<int>(t.id)));
  const DialogUnits du = PrepareDialog(*this, t.widthUnits, t.heightUnits);

  int textLeft = 7;
  if (t.wrenchIcon) {
    auto* icon = new QLabel(this);
    const int size = du.Y(20);
    icon->setPixmap(WrenchPixmap(size));
    icon->setGeometry(du.X(7), du.Y(7), size, size);
    textLeft = 35;
  }
  text_ = new QLabel(DialogText(t.text), this);
  text_->setObjectName(QStringLiteral("text"));
  text_->setWordWrap(true);
  text_->setAlignment(t.centred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
  text_->setGeometry(du.Rect(textLeft, 7, t.widthUnits - textLeft - 7, t.heightUnits - 31));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  ok_->setGeometry(du.Rect((t.widthUnits - 50) / 2, t.heightUnits - 21, 50, 14));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

QString ResultDialog::text() const { return text_->text(); }

}  // namespace flash
