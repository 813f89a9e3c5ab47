// The flash-update program itself, started as a process on the offscreen platform.
#include <signal.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

namespace flash::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds{10};  // start-up takes a fraction of this
constexpr auto kPoll = std::chrono::milliseconds{10};

// True once the process handles SIGTERM itself: its window is up and running.
bool CatchesSigterm(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigCgt:", 0) == 0) {
      const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
      return (mask >> (SIGTERM - 1)) & 1u;
    }
  }
  return false;
}

// Runs the program in dir with these arguments, ends it with SIGTERM once it is
// up, and answers its exit status (-1 when it did not start or exit in time).
int RunAndTerminate(const QString& dir, const std::vector<std::string>& args) {
  ChildOptions options;
  options.argv = {FLASH_UPDATE_PATH};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.workingDirectory = dir.toStdString();
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  ChildProcess program(options);
  if (!program.started()) return -1;
  const auto end = std::chrono::steady_clock::now() + kStartLimit;
  while (!CatchesSigterm(program.pid()) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(kPoll);
  }
  program.Signal(SIGTERM);
  return program.Wait(kStartLimit);
}

std::string Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Any argument at all, even one Qt takes for itself, switches error checking off.
// (Without arguments the file's switch stays: the start-up tests show it in process.)
TEST(FlashUpdateProgram, AnOptionQtTakesForItselfStillSwitchesErrorCheckingOffAndSigtermEndsNormally) {
  QTemporaryDir dir;
  {
    QFile ini(dir.filePath(QStringLiteral("update.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n");
  }
  ASSERT_EQ(RunAndTerminate(dir.path(), {"-platform", "offscreen"}), 0);
  const std::string written = Read(dir.filePath(QStringLiteral("update.ini")));
  EXPECT_NE(written.find("STOP ON ERRORS=1"), std::string::npos) << written;
  EXPECT_NE(written.find("COMPORT=COM1"), std::string::npos) << "the normal exit writes every key";
}

}  // namespace
}  // namespace flash::test
