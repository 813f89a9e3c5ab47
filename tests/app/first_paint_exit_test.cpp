// The start-up measurement hook: with FLASH_UPDATE_EXIT_AFTER_FIRST_PAINT the
// program reports its first paint and ends through its normal exit.
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/first_paint_exit.h"
#include "tests/app/gui_test_support.h"
#include "tests/support/child_process.h"

namespace flash::test {
namespace {

constexpr auto kExitLimit = std::chrono::seconds{10};  // it takes a fraction of a second

TEST(FirstPaintExit, TheProgramSaysWhenItFirstPaintedAndEndsThroughItsNormalExit) {
  QTemporaryDir dir;
  ChildOptions options;
  options.argv = {FLASH_UPDATE_PATH};
  options.workingDirectory = dir.path().toStdString();
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}, {kExitAfterFirstPaintVariable, "1"}};
  ChildProcess program(options);
  ASSERT_TRUE(program.started());
  EXPECT_EQ(program.Wait(kExitLimit), 0);
  EXPECT_EQ(program.out(), "flash-update: first paint\n") << "said once, after the first paint";
  // The normal exit writes the settings.
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("update.ini"))));
}

}  // namespace
}  // namespace flash::test
