#include "app/personality_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "app/dialog_look.h"

namespace flash {
namespace {

constexpr const char* kExplanation =
    "The Banwick with Extended Memory. Please select which memory location you would like to "
    "use to store this program. Or you can press CANCEL to abort this update. \r\r When "
    "operating the radio you can switch programs by pressing and holding the MENU button. ";

// Template rows of the six buttons, in dialog units.
constexpr std::array<int, 6> kButtonTops = {84, 114, 145, 175, 204, 234};

}  // namespace

PersonalityDialog::PersonalityDialog(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(QStringLiteral("Banwick - Extended Memory"));
  setObjectName(QStringLiteral("PersonalityDialog128"));
  const DialogUnits du = PrepareDialog(*this, 301, 327);

  auto* text = new QLabel(DialogText(kExplanation), this);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text->setGeometry(du.Rect(55, 14, 190, 61));

  for (int i = 0; i < 6; ++i) {
    auto* button = new QPushButton(QStringLiteral("Radio Personality %1").arg(i + 1), this);
    button->setObjectName(QStringLiteral("personality%1").arg(i + 1));
    button->setAutoDefault(false);
    button->setGeometry(du.Rect(63, kButtonTops[static_cast<std::size_t>(i)], 173, 20));
    connect(button, &QPushButton::clicked, this, [this, i] {
      selection_ = i + 1;
      accept();
    });
    buttons_[static_cast<std::size_t>(i)] = button;
  }
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAutoDefault(false);
  cancel->setGeometry(du.Rect(63, 276, 173, 22));
  connect(cancel, &QPushButton::clicked, this, &PersonalityDialog::reject);
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
