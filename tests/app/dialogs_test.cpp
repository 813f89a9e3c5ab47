// The message dialogs and the extended-memory personality dialog.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/personality_dialog.h"
#include "app/result_dialog.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

struct Expected {
  DialogId id;
  const char* title;
  const char* text;
  bool closeBox;
};

void PrintTo(const Expected& e, std::ostream* out) { *out << "dialog " << static_cast<int>(e.id); }

class ResultDialogTexts : public ::testing::TestWithParam<Expected> {};

TEST_P(ResultDialogTexts, CarryTheTitleTextAndOkButtonOfTheirTemplate) {
  const Expected& e = GetParam();
  ResultDialog dialog(e.id, nullptr);
  EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(e.title));
  EXPECT_EQ(dialog.text(), QString::fromLatin1(e.text));
  EXPECT_EQ(dialog.okButton()->text(), QStringLiteral("OK"));
  EXPECT_TRUE(dialog.okButton()->isDefault());
  EXPECT_EQ(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint), e.closeBox);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, ResultDialogTexts,
    ::testing::Values(
        Expected{DialogId::CommFailure, "Error Encountered",
                 "Communication with the radio has failed. Since a programming operation was "
                 "interrupted the radio may not function properly. Check for proper power and "
                 "interface connections. Cycle the power on the radio and retry the programming "
                 "operation.",
                 true},
        Expected{DialogId::ProgramSuccess, "Flash Update", "Flash Update Successfuly Completed !",
                 false},
        Expected{DialogId::VerifySuccess, "Flash Verification",
                 "File and Firmware Sucessfully Verified", false},
        Expected{DialogId::ProcessingComplete, "Flash Loader",
                 "File Processing Complete! \n\nThere is no way to determine if Flash Updating "
                 "was successful because error checking was turned off.",
                 false},
        Expected{DialogId::VerifyFailure, "Dialog",
                 "The selected file does not match the contents of the radio's Flash Memory "
                 "system. You may be using the wrong RUF file for comparison. Cycle the power on "
                 "the radio and confirm the firmware revision and try again. You may want to "
                 "reprogram and reverify.",
                 false},
        Expected{DialogId::ProgramFailure, "Dialog",
                 "Unable to update the radio's Flash Memory with the selected file. Confirm that "
                 "the radio is connected and powered and that the update file is a valid Rom "
                 "Update File (RUF) for this radio.",
                 true}));

TEST(ResultDialog, OkOrEscCloses) {
  ResultDialog dialog(DialogId::ProgramSuccess, nullptr);
  dialog.show();
  dialog.okButton()->click();
  EXPECT_FALSE(dialog.isVisible());
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(PersonalityDialog, ShowsSixButtonsInOrderAndCancel) {
  PersonalityDialog dialog(nullptr);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Banwick - Extended Memory"));
  for (int p = 1; p <= 6; ++p) {
    EXPECT_EQ(dialog.personalityButton(p)->text(), QStringLiteral("Radio Personality %1").arg(p));
  }
  // The buttons keep the template's order from top to bottom, Cancel last.
  for (int p = 1; p < 6; ++p) {
    EXPECT_LT(dialog.personalityButton(p)->y(), dialog.personalityButton(p + 1)->y());
  }
  EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
  EXPECT_LT(dialog.personalityButton(6)->y(), dialog.cancelButton()->y());
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
}

// Through the window, as the engine asks.
using HostDialogsTest = AppTest;

TEST_F(HostDialogsTest, ChoosePersonalityAnswersTheButtonPressedOrMinusOne) {
  MainWindow& window = StartApp();
  for (int p = 1; p <= 6; ++p) {
    auto answer = OnModal<PersonalityDialog>(
        [p](PersonalityDialog* dialog) { dialog->personalityButton(p)->click(); });
    EXPECT_EQ(window.ChoosePersonality(), p);
  }
  const std::vector<std::function<void(PersonalityDialog*)>> cancels = {
      [](PersonalityDialog* dialog) { dialog->cancelButton()->click(); },
      [](PersonalityDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); },
      [](PersonalityDialog* dialog) { dialog->close(); },
  };
  for (const auto& cancel : cancels) {
    auto answer = OnModal<PersonalityDialog>(cancel);
    EXPECT_EQ(window.ChoosePersonality(), -1);
    EXPECT_TRUE(answer->answered());
  }
  // Enter alone chooses nothing: the dialog stays until a button is pressed.
  bool stayedOpen = false;
  auto enter = OnModal<PersonalityDialog>([&](PersonalityDialog* dialog) {
    QTest::keyClick(dialog, Qt::Key_Return);
    stayedOpen = dialog->isVisible();
    dialog->personalityButton(2)->click();
  });
  EXPECT_EQ(window.ChoosePersonality(), 2);
  EXPECT_TRUE(stayedOpen);
}

TEST_F(HostDialogsTest, ShowMessageUsesTheProgramNameWhenNoCaptionIsGiven) {
  MainWindow& window = StartApp();
  QString caption;
  QString text;
  auto answer = OnModal<QMessageBox>([&](QMessageBox* box) {
    caption = box->windowTitle();
    text = box->text();
    box->accept();
  });
  window.ShowMessage("Unable to open the file\r\nsecond line", "");
  EXPECT_EQ(caption, QStringLiteral("Flash Update"));
  EXPECT_EQ(text, QStringLiteral("Unable to open the file\nsecond line"));
  auto second = OnModal<QMessageBox>([&](QMessageBox* box) {
    caption = box->windowTitle();
    box->accept();
  });
  window.ShowMessage("text", "Serial Port");
  EXPECT_EQ(caption, QStringLiteral("Serial Port"));
}

}  // namespace
}  // namespace flash::test
