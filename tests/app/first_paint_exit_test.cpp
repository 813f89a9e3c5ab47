// The start-up measurement hook: with FLASH_UPDATE_EXIT_AFTER_FIRST_PAINT the
// program reports its first paint and ends through its normal exit.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

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
  EXPECT_EQ(program.out(), "flash-update: first paint\n");
  // The normal exit writes the settings.
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("update.ini"))));
}

TEST(FirstPaintExit, ClosesOnceAfterTheFirstPaintOnly) {
  int closes = 0;
  FirstPaintExit hook([&closes] { ++closes; });
  QWidget widget;
  widget.resize(100, 100);
  widget.show();
  widget.repaint();
  ASSERT_TRUE(WaitFor([&closes] { return closes > 0; }));
  widget.repaint();
  QApplication::processEvents();
  EXPECT_EQ(closes, 1);
}

TEST(FirstPaintExit, IsAskedForOnlyByTheVariable) {
  qunsetenv(kExitAfterFirstPaintVariable);
  EXPECT_FALSE(FirstPaintExit::Requested());
  qputenv(kExitAfterFirstPaintVariable, "1");
  EXPECT_TRUE(FirstPaintExit::Requested());
  qunsetenv(kExitAfterFirstPaintVariable);
}

}  // namespace
}  // namespace flash::test
