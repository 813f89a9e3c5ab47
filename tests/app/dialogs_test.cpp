// The message dialogs and the extended-memory personality dialog.
#include <QLabel>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

#include "app/about_dialog.h"
#include "app/personality_dialog.h"
#include "app/result_dialog.h"
#include "app/setup_dialog.h"
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

TEST(PersonalityDialog, ShowsItsTitleAndSixButtonsAndCancel) {
  PersonalityDialog dialog(nullptr);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Banwick - Extended Memory"));
  for (int p = 1; p <= 6; ++p) {
    EXPECT_EQ(dialog.personalityButton(p)->text(), QStringLiteral("Radio Personality %1").arg(p));
  }
  EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("Cancel"));
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  // The buttons keep the template's order from top to bottom.
  for (int p = 1; p < 6; ++p) {
    EXPECT_LT(dialog.personalityButton(p)->y(), dialog.personalityButton(p + 1)->y());
  }
  EXPECT_LT(dialog.personalityButton(6)->y(), dialog.cancelButton()->y());
}

TEST(PersonalityDialog, EachButtonSelectsItsPersonality) {
  for (int p = 1; p <= 6; ++p) {
    PersonalityDialog dialog(nullptr);
    dialog.show();
    dialog.personalityButton(p)->click();
    EXPECT_EQ(dialog.selection(), p);
    EXPECT_FALSE(dialog.isVisible());
  }
}

TEST(PersonalityDialog, CancelEscAndTheCloseBoxGiveMinusOne) {
  {
    PersonalityDialog dialog(nullptr);
    dialog.show();
    dialog.cancelButton()->click();
    EXPECT_EQ(dialog.selection(), -1);
  }
  {
    PersonalityDialog dialog(nullptr);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.selection(), -1);
    EXPECT_FALSE(dialog.isVisible());
  }
  {
    PersonalityDialog dialog(nullptr);
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.selection(), -1);
  }
}

TEST(PersonalityDialog, EnterDoesNotCloseItWithoutAChoice) {
  PersonalityDialog dialog(nullptr);
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
}

// Through the window, as the engine asks.
using HostDialogsTest = AppTest;

TEST_F(HostDialogsTest, ChoosePersonalityAnswersTheButtonPressed) {
  MainWindow& window = StartApp();
  auto answer = OnModal<PersonalityDialog>(
      [](PersonalityDialog* dialog) { dialog->personalityButton(4)->click(); });
  EXPECT_EQ(window.ChoosePersonality(), 4);
  auto cancel = OnModal<PersonalityDialog>(
      [](PersonalityDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(window.ChoosePersonality(), -1);
}

TEST_F(HostDialogsTest, ShowDialogRunsTheTemplateModally) {
  MainWindow& window = StartApp();
  QString text;
  auto answer = OnModal<ResultDialog>([&](ResultDialog* dialog) {
    text = dialog->text();
    dialog->okButton()->click();
  });
  window.ShowDialog(DialogId::VerifySuccess);
  EXPECT_EQ(text, QStringLiteral("File and Firmware Sucessfully Verified"));
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

// Pictures of the dialogs for the documentation, taken only when a folder is named.
TEST_F(HostDialogsTest, SavesPicturesOfTheDialogsWhenAskedTo) {
  const char* dir = std::getenv("FLASH_UPDATE_SCREENSHOT_DIR");
  if (!dir) GTEST_SKIP() << "FLASH_UPDATE_SCREENSHOT_DIR is not set";
  MainWindow& window = StartApp();
  const QDir out(QString::fromLocal8Bit(dir));
  auto save = [&](QWidget* dialog, const char* name) {
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(dialog->grab().save(out.filePath(QString::fromLatin1(name))));
  };
  {
    AboutDialog about(QStringLiteral("Oct 26 2010, 13:55:56"), QStringLiteral("Version 4.12"), &window);
    about.show();
    save(&about, "about-dialog.png");
  }
  {
    SetupValues values;
    values.portName = "COM1";
    values.useSerial = 1;
    values.ipAddress = "192.168.1.123";
    values.udpPort = 49152;
    values.passcode = 7;
    SetupDialog setup(values, {}, &window);
    setup.show();
    save(&setup, "setup-dialog.png");
  }
  for (DialogId id : {DialogId::CommFailure, DialogId::ProgramSuccess, DialogId::ProcessingComplete}) {
    ResultDialog result(id, &window);
    result.show();
    save(&result, QStringLiteral("result-dialog-%1.png").arg(static_cast<int>(id)).toLatin1().constData());
  }
  PersonalityDialog personality(&window);
  personality.show();
  save(&personality, "personality-dialog.png");
}

}  // namespace
}  // namespace flash::test
