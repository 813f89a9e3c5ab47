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

TEST_F(CommandEnablingTest, VerifyIsGreyedWhileErrorsAreIgnoredAndTheToggleFollowsItsRule) {
  // The toggle turns 1 into 0 and any other value into 1.
  for (const auto& [value, toggled] : {std::pair{"1", 0}, std::pair{"5", 1}}) {
    WriteWorkFile("update.ini", IniWithStopOnErrors(value));
    MainWindow& window = StartApp();
    EXPECT_FALSE(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled()) << value;
    EXPECT_FALSE(window.RunCommand(ID_VERIFY_PROGRAM)) << value;
    EXPECT_TRUE(window.splashShown()) << "a refused command starts nothing";
    EXPECT_TRUE(window.commandAction(ID_UPDATE_RADIO)->isEnabled());
    EXPECT_TRUE(window.RunCommand(ID_TOGGLE_ERROR_CHECK));
    EXPECT_EQ(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled(), toggled == 0) << value;
    EndApp();
  }
}

TEST_F(CommandEnablingTest, SetupClosedWithOkSetsTheSwitchFromItsStopOnErrorsBox) {
  for (const auto& [value, click, ignoreErrors] : {std::tuple{"1", false, 0}, std::tuple{"0", true, 1}}) {
    WriteWorkFile("update.ini", IniWithStopOnErrors(value));
    MainWindow& window = StartApp();
    bool openedTicked = false;
    auto answer = OnModal<SetupDialog>([&, click = click](SetupDialog* setup) {
      openedTicked = setup->stopOnErrorsBox()->isChecked();
      if (click) setup->stopOnErrorsBox()->click();
      ClickButton(setup, QStringLiteral("ok"));
    });
    EXPECT_TRUE(window.RunCommand(ID_SETUP));
    ASSERT_TRUE(answer->answered());
    EXPECT_TRUE(openedTicked) << "the box opens ticked whatever the value";
    EXPECT_EQ(window.commandAction(ID_VERIFY_PROGRAM)->isEnabled(), ignoreErrors == 0) << value;
    EndApp();
  }
}

TEST_F(CommandEnablingTest, TestingAndQueryModeAreReachableByTheirIdsAlone) {
  MainWindow& window = StartApp();
  for (QAction* action : window.findChildren<QAction*>()) {
    EXPECT_NE(action->data().toInt(), ID_TESTING_MODE);
    EXPECT_NE(action->data().toInt(), ID_QUERY_MODE);
    EXPECT_NE(action->data().toInt(), ID_TOGGLE_ERROR_CHECK);
  }
  EXPECT_TRUE(window.RunCommand(ID_QUERY_MODE));
  EXPECT_TRUE(window.splashShown()) << "query mode starts nothing";

  auto answer = OnModal<QDialog>([](QDialog* chooser) { chooser->reject(); });
  EXPECT_TRUE(window.RunCommand(ID_TESTING_MODE));
  EXPECT_TRUE(answer->answered());
  EXPECT_EQ(window.statusPanes()->paneText(2), QString());
  EXPECT_FALSE(window.RunCommand(12345));
}

}  // namespace
}  // namespace flash::test
