// The flash-update program itself, started as a process on the offscreen platform.
#include <signal.h>

#include <QDir>
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

ChildOptions InDirectory(const QString& dir, const std::vector<std::string>& args) {
  ChildOptions options;
  options.argv = {FLASH_UPDATE_PATH};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.workingDirectory = dir.toStdString();
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  return options;
}

std::string Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(FlashUpdateProgram, HelpAndVersionPrintAndExitWithoutAWindowOrTheSettingsFile) {
  for (const auto& [option, printed] :
       {std::pair{"--help", "Usage: flash-update "},
        std::pair{"--version", "flash-update " FLASH_PROJECT_VERSION "\n"}}) {
    QTemporaryDir dir;
    ChildOptions options = InDirectory(dir.path(), {option});
    // With no display to reach, starting Qt at all would end the program.
    options.environment = {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":404"}};
    ChildProcess program(options);
    EXPECT_EQ(program.Wait(kStartLimit), 0) << option << program.err();
    EXPECT_EQ(program.out().rfind(printed, 0), 0u) << option << program.out();
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        << option;
  }
}

// Options that Qt takes for itself switch nothing; any other argument switches error
// checking off, and SIGTERM ends the program through its normal exit, which saves
// update.ini or says why it could not. (Without arguments the file's switch stays:
// the start-up tests show it in process.)
TEST(FlashUpdateProgram, ArgumentsThatQtLeavesSwitchErrorCheckingOffAndSigtermSavesTheSettings) {
  struct Case {
    std::vector<std::string> args;
    bool readOnly;
    const char* stopOnErrors;  // written at exit
  };
  for (const Case& c : {Case{{"-style", "fusion", "-platform", "offscreen"}, false, "0"},
                        Case{{"-style", "fusion", "x"}, false, "1"},
                        Case{{"x"}, true, "0"}}) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("update.ini"));
    std::ofstream(path.toStdString()) << "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n";
    QFile::setPermissions(path, c.readOnly ? QFile::ReadOwner : QFile::ReadOwner | QFile::WriteOwner);
    ChildProcess program(InDirectory(dir.path(), c.args));
    ASSERT_TRUE(program.started());
    const auto end = std::chrono::steady_clock::now() + kStartLimit;
    while (!CatchesSigterm(program.pid()) && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(kPoll);
    }
    program.Signal(SIGTERM);
    const std::string what = c.args.back();
    ASSERT_EQ(program.Wait(kStartLimit), 0) << what;
    const std::string written = Read(path);
    EXPECT_NE(written.find(std::string("STOP ON ERRORS=") + c.stopOnErrors), std::string::npos)
        << what << written;
    EXPECT_EQ(written.find("COMPORT=COM1") != std::string::npos, !c.readOnly)
        << what << ": the normal exit writes every key";
    if (c.readOnly) {
      EXPECT_NE(program.err().find("flash-update: the settings were not saved in " +
                                   path.toStdString() + ": it is read-only\n"),
                std::string::npos)
          << program.err();
    }
  }
}

}  // namespace
}  // namespace flash::test
