// Which commands the window accepts, and when Verify Program is greyed.
#include <QAction>
#include <QCheckBox>
#include <QMenu>

#include "app/command_ids.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "tests/app/gui_test_support.h"

namespace flash::test {
namespace {

using CommandEnablingTest = AppTest;

std::string IniWithStopOnErrors(const std::string& value) {
  return "[SERIAL INTERFACE]\r\nCOMPORT=COM1\r\nSTOP ON ERRORS=" + value + "\r\n";
}

TEST_F(CommandEnablingTest, VerifyIsGreyedAndRefusedWhileErrorsAreIgnored) {
  for (const std::string value : {"1", "5"}) {
    WriteWorkFile("update.ini", IniWithStopOnErrors(value));
    MainWindow& window = StartApp();
    EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled()) << value;
    EXPECT_FALSE(window.RunCommand(ID_VERIFY_PROGRAM)) << value;
    EXPECT_TRUE(window.splashShown()) << "a refused command starts nothing";
    EXPECT_TRUE(window.commandAction(ID_UPDATE_RADIO)->isEnabled());
    EndApp();
  }
}

TEST_F(CommandEnablingTest, ToggleTurnsOneIntoZeroAndEnablesVerify) {
  WriteWorkFile("update.ini", IniWithStopOnErrors("1"));
  MainWindow& window = StartApp();
  EXPECT_TRUE(window.RunCommand(ID_TOGGLE_ERROR_CHECK));
  EXPECT_EQ(window.engine().state().ignoreErrors, 0);
  EXPECT_TRUE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
  EXPECT_TRUE(window.RunCommand(ID_TOGGLE_ERROR_CHECK));
  EXPECT_EQ(window.engine().state().ignoreErrors, 1);
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
}

TEST_F(CommandEnablingTest, ToggleTurnsAnyOtherValueIntoOne) {
  WriteWorkFile("update.ini", IniWithStopOnErrors("5"));
  MainWindow& window = StartApp();
  window.RunCommand(ID_TOGGLE_ERROR_CHECK);
  EXPECT_EQ(window.engine().state().ignoreErrors, 1);
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
}

TEST_F(CommandEnablingTest, SetupClosedWithOkUntouchedEnablesVerify) {
  WriteWorkFile("update.ini", IniWithStopOnErrors("1"));
  MainWindow& window = StartApp();
  bool openedTicked = false;
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    openedTicked = setup->stopOnErrorsBox()->isChecked();
    ClickButton(setup, QStringLiteral("ok"));
  });
  EXPECT_TRUE(window.RunCommand(ID_SETUP));
  ASSERT_TRUE(answer->answered());
  EXPECT_TRUE(openedTicked);
  EXPECT_EQ(window.engine().state().ignoreErrors, 0);
  EXPECT_TRUE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
  EXPECT_TRUE(window.RunCommand(ID_TOGGLE_ERROR_CHECK));
}

TEST_F(CommandEnablingTest, SetupClosedWithOkAndStopOnErrorsClearIgnoresErrors) {
  WriteWorkFile("update.ini", IniWithStopOnErrors("0"));
  MainWindow& window = StartApp();
  auto answer = OnModal<SetupDialog>([&](SetupDialog* setup) {
    setup->stopOnErrorsBox()->click();
    ClickButton(setup, QStringLiteral("ok"));
  });
  window.RunCommand(ID_SETUP);
  EXPECT_EQ(window.engine().state().ignoreErrors, 1);
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
}

TEST_F(CommandEnablingTest, MenuItemsFollowTheRulesWhenTheMenuOpens) {
  WriteWorkFile("update.ini", IniWithStopOnErrors("0"));
  MainWindow& window = StartApp();
  window.engine().state().ignoreErrors = 1;  // changed behind the menu's back
  auto* process = window.findChild<QMenu*>(QStringLiteral("processMenu"));
  ASSERT_NE(process, nullptr);
  emit process->aboutToShow();
  EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled());
}

TEST_F(CommandEnablingTest, QueryModeSetsModeSixtyThreeAndStartsNothing) {
  MainWindow& window = StartApp();
  EXPECT_TRUE(window.RunCommand(ID_QUERY_MODE));
  EXPECT_EQ(window.engine().state().mode, 63);
  EXPECT_TRUE(window.splashShown());
}

TEST_F(CommandEnablingTest, TestingModeIsReachableByItsIdAlone) {
  MainWindow& window = StartApp();
  for (QAction* action : window.findChildren<QAction*>()) {
    EXPECT_NE(action->data().toInt(), ID_TESTING_MODE);
    EXPECT_NE(action->data().toInt(), ID_QUERY_MODE);
    EXPECT_NE(action->data().toInt(), ID_TOGGLE_ERROR_CHECK);
  }
  auto answer = OnModal<QDialog>([](QDialog* chooser) { chooser->reject(); });
  EXPECT_TRUE(window.RunCommand(ID_TESTING_MODE));
  EXPECT_TRUE(answer->answered());
  EXPECT_EQ(window.engine().state().mode, 153);
  EXPECT_EQ(window.statusPanes()->paneText(2), QString());
}

TEST_F(CommandEnablingTest, UnknownIdsAreRefused) {
  MainWindow& window = StartApp();
  EXPECT_FALSE(window.RunCommand(12345));
  EXPECT_FALSE(window.IsCommandEnabled(0));
}

}  // namespace
}  // namespace flash::test
