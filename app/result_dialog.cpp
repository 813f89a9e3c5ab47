#include "app/result_dialog.h"

#include <QLabel>
#include <QPushButton>

#include <array>

#include "app/dialog_look.h"
#include "app/program_icons.h"
#include "engine/dialog_texts.h"

namespace flash {
namespace {

// Layouts in dialog units; the titles and texts are shared with the headless tool.
constexpr std::array<ResultDialogTemplate, 6> kTemplates = {{
    {DialogId::CommFailure, 187, 95, true, false, true},
    {DialogId::ProgramSuccess, 187, 47, false, true, false},
    {DialogId::VerifySuccess, 187, 47, false, true, false},
    {DialogId::ProcessingComplete, 187, 95, false, false, false},
    {DialogId::VerifyFailure, 187, 102, false, false, false},
    {DialogId::ProgramFailure, 187, 69, false, false, true},
}};

}  // namespace

const ResultDialogTemplate& TemplateOf(DialogId id) {
  for (const auto& t : kTemplates) {
    if (t.id == id) return t;
  }
  // An id outside the six templates is reported as the general failure.
  return kTemplates[5];
}

ResultDialog::ResultDialog(DialogId id, QWidget* parent) : QDialog(parent) {
  const ResultDialogTemplate& t = TemplateOf(id);
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (t.closeBox) flags |= Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setWindowTitle(QString::fromLatin1(DialogTitleOf(t.id)));
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
  text_ = new QLabel(DialogText(DialogTextOf(t.id)), this);
  text_->setObjectName(QStringLiteral("text"));
  text_->setWordWrap(true);
  text_->setAlignment(t.centred ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
  text_->setGeometry(du.Rect(textLeft, 7, t.widthUnits - textLeft - 7, t.heightUnits - 31));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  ok->setGeometry(du.Rect((t.widthUnits - 50) / 2, t.heightUnits - 21, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

QString ResultDialog::text() const { return text_->text(); }

}  // namespace flash
