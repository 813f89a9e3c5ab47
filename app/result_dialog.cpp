#include "app/result_dialog.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include <array>

#include "app/dialog_look.h"
#include "app/program_icons.h"
#include "engine/dialog_texts.h"

namespace flash {
namespace {

// The titles and texts are shared with the headless tool.
constexpr std::array<ResultDialogTemplate, 6> kTemplates = {{
    {DialogId::CommFailure, true, false, true},
    {DialogId::ProgramSuccess, false, true, false},
    {DialogId::VerifySuccess, false, true, false},
    {DialogId::ProcessingComplete, false, false, false},
    {DialogId::VerifyFailure, false, false, false},
    {DialogId::ProgramFailure, false, false, true},
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
  auto* content = new QHBoxLayout;
  if (t.wrenchIcon) {
    auto* icon = new QLabel;
    icon->setPixmap(WrenchPixmap(2 * QFontMetrics(DialogFont()).height()));
    content->addWidget(icon, 0, Qt::AlignTop);
  }
  text_ = WrappedText(DialogText(DialogTextOf(t.id)), 40, nullptr);
  text_->setObjectName(QStringLiteral("text"));
  if (t.centred) text_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  content->addWidget(text_, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"));
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  LayOutDialog(*this, content, buttons);
}

QString ResultDialog::text() const { return text_->text(); }

}  // namespace flash
