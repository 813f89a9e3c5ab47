#include "app/personality_dialog.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/dialog_look.h"

namespace flash {
namespace {

constexpr const char* kExplanation =
    "The Banwick with Extended Memory. Please select which memory location you would like to "
    "use to store this program. Or you can press CANCEL to abort this update. \r\r When "
    "operating the radio you can switch programs by pressing and holding the MENU button. ";

}  // namespace

PersonalityDialog::PersonalityDialog(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Banwick - Extended Memory"));
  setObjectName(QStringLiteral("PersonalityDialog128"));
  auto* content = new QVBoxLayout;
  content->addWidget(WrappedText(DialogText(kExplanation), 45, nullptr));
  for (int i = 0; i < 6; ++i) {
    auto* button = new QPushButton(QStringLiteral("Radio Personality %1").arg(i + 1));
    button->setObjectName(QStringLiteral("personality%1").arg(i + 1));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, i] {
      selection_ = i + 1;
      accept();
    });
    content->addWidget(button);
    buttons_[static_cast<std::size_t>(i)] = button;
  }
  // Cancel stays in sight below the choices, also when they must scroll.
  auto* cancel = new QPushButton(QStringLiteral("Cancel"));
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  connect(cancel, &QPushButton::clicked, this, &PersonalityDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(cancel);
  LayOutDialog(*this, content, buttons);
}

QPushButton* PersonalityDialog::personalityButton(int personality) const {
  if (personality < 1 || personality > 6) return nullptr;
  return buttons_[static_cast<std::size_t>(personality - 1)];
}

void PersonalityDialog::reject() {
  selection_ = -1;
  QDialog::reject();
}

}  // namespace flash
