// The flash-update program itself, started as a process on the offscreen platform.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace flash::test {
namespace {

constexpr auto kStartLimit = std::chrono::seconds{10};  // start-up takes a fraction of this

// True once the process handles SIGTERM itself: its window is up and running.
bool CatchesSigterm(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("SigCgt:")) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1u;
  }
  return false;
}

ChildOptions InDirectory(const TempDir& dir, std::vector<std::string> args) {
  ChildOptions options;
  options.argv = {FLASH_UPDATE_PATH};
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.workingDirectory = dir.path();
  options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
  return options;
}

TEST(FlashUpdateProgram, HelpAndVersionPrintAndExitWithoutAWindowOrTheSettingsFile) {
  for (const auto& [option, printed] : {std::pair{"-h", "Usage: flash-update "},
                                        std::pair{"--version", "flash-update " FLASH_PROJECT_VERSION "\n"}}) {
    TempDir dir;
    ChildOptions options = InDirectory(dir, {option});
    // With no display to reach, starting Qt at all would end the program.
    options.environment = {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":404"}};
    ChildProcess program(options);
    EXPECT_EQ(program.Wait(kStartLimit), 0) << option << program.err();
    EXPECT_TRUE(program.out().starts_with(printed)) << option << program.out();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << option;
  }
}

// Options that Qt takes for itself switch nothing; any other argument switches error
// checking off, and SIGTERM ends the program through its normal exit, which saves
// update.ini or says why it could not.
TEST(FlashUpdateProgram, ArgumentsThatQtLeavesSwitchErrorCheckingOffAndSigtermSavesTheSettings) {
  struct Case {
    std::vector<std::string> args;
    bool readOnly;
    const char* stopOnErrors;  // written at exit
  };
  for (const Case& c : {Case{{"-style", "fusion", "-platform", "offscreen"}, false, "0"},
                        Case{{"-style", "fusion", "x"}, false, "1"}, Case{{"x"}, true, "0"}}) {
    TempDir dir;
    const std::string path = dir.Write("update.ini", "[SERIAL INTERFACE]\r\nSTOP ON ERRORS=0\r\n");
    if (c.readOnly) std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    ChildProcess program(InDirectory(dir, c.args));
    for (const auto end = std::chrono::steady_clock::now() + kStartLimit;
         !CatchesSigterm(program.pid()) && std::chrono::steady_clock::now() < end;) {
      std::this_thread::sleep_for(std::chrono::milliseconds{10});
    }
    program.Signal(SIGTERM);
    ASSERT_EQ(program.Wait(kStartLimit), 0) << c.args.back();
    const std::string written = TempDir::Read(path);
    EXPECT_NE(written.find(std::string("STOP ON ERRORS=") + c.stopOnErrors), std::string::npos) << written;
    EXPECT_EQ(written.find("COMPORT=COM1") != std::string::npos, !c.readOnly) << "every key is written";
    const std::string told = "flash-update: the settings were not saved in " + path + ": it is read-only\n";
    EXPECT_EQ(program.err().find(told) != std::string::npos, c.readOnly) << program.err();
  }
}

}  // namespace
}  // namespace flash::test
