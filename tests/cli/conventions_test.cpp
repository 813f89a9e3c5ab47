// The command-line conventions of flash-update-cli and radio-sim, on the programs
// themselves: --version, one-line usage errors, quiet and verbose runs, why a
// failure happened on standard error, and the ports command.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "tests/cli/tool_output_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::ChildOptions;
using test::ChildProcess;
using test::kDemoFile;
using test::Contains;
using test::TempDir;

constexpr auto kRunLimit = 30s;  // every run here ends in well under a second or two

struct ProgramRun {
  int status;
  std::string out;
  std::string err;
};

ProgramRun RunProgram(std::vector<std::string> argv, const std::string& directory = {}) {
  ChildOptions options;
  options.argv = std::move(argv);
  options.workingDirectory = directory;
  // umockdev's library is preloaded ahead of the address sanitizer's.
  const char* asan = std::getenv("ASAN_OPTIONS");
  options.environment = {
      {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
  ChildProcess child(options);
  const int status = child.Wait(kRunLimit);
  return {status, child.out(), child.err()};
}

TEST(Conventions, VersionWinsAnywhereAndAUsageErrorIsOneLineWithTheHintAndStatus64) {
  const std::string cli = FLASH_UPDATE_CLI_PATH;
  const std::string sim = RADIO_SIM_PATH;
  const std::string cliHint = "; try 'flash-update-cli --help'\n";
  const std::string version = "\\d+\\.\\d+\n(built from git \\S+\n)?";
  const struct {
    std::vector<std::string> argv;
    int status;
    std::string out;  // a pattern
    std::string err;
  } cases[] = {
      {{cli, "--version"}, 0, "flash-update-cli " + version, ""},
      {{cli, "program", "--bogus", "-V"}, 0, "flash-update-cli " + version, ""},
      {{sim, "--model", "746", "-V"}, 0, "radio-sim " + version, ""},
      {{cli}, 64, "", "flash-update-cli: no command given" + cliHint},
      {{cli, "-q", "flash", "a.ruf"}, 64, "",
       "flash-update-cli: unknown command 'flash'" + cliHint},
      {{cli, "-q", "verify", "a.ruf", "--verbose"}, 64, "",
       "flash-update-cli: --quiet and --verbose exclude each other" + cliHint},
      {{cli, "ports", "a.ruf"}, 64, "",
       "flash-update-cli: ports takes no RUF-FILE ('a.ruf')" + cliHint},
      {{sim, "--modle", "746"}, 64, "",
       "radio-sim: unknown option '--modle'; try 'radio-sim --help'\n"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = RunProgram(c.argv);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.argv);
    EXPECT_TRUE(std::regex_match(run.out, std::regex(c.out))) << run.out;
    EXPECT_EQ(run.err, c.err);
  }
}

TEST(Conventions, QuietShowsOnlyTheResultVerboseTheTraceAndAFailureSaysWhyOnStandardError) {
  TempDir dir;
  test::RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", "./radio-tty"}, dir.path());
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  const std::vector<std::string> tool = {FLASH_UPDATE_CLI_PATH, "--serial", "./radio-tty"};
  const auto run = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), tool.begin(), tool.end());
    return RunProgram(arguments, dir.path());
  };

  // The radio's memory is empty: a Verify fails on every line.
  const std::string mismatch =
      "The selected file does not match the contents of the radio's Flash Memory system.";
  const ProgramRun failed = run({"verify", kDemoFile, "-q"});
  EXPECT_EQ(failed.status, 1) << failed.err;
  EXPECT_TRUE(failed.out.starts_with(mismatch)) << failed.out;
  EXPECT_EQ(std::count(failed.out.begin(), failed.out.end(), '\n'), 1) << failed.out;
  EXPECT_TRUE(failed.err.starts_with(
      "flash-update-cli: The update failed: the radio's memory differs from the file in "))
      << failed.err;
  EXPECT_TRUE(Contains(failed.err, "\nflash-update-cli: " + mismatch)) << failed.err;

  const ProgramRun programmed = run({"-q", "program", kDemoFile});
  EXPECT_EQ(programmed.status, 0) << programmed.err;
  EXPECT_EQ(programmed.out, "Flash Update Successfuly Completed !\n");
  EXPECT_EQ(programmed.err, "");

  const ProgramRun traced = run({"verify", kDemoFile, "-v"});
  EXPECT_EQ(traced.status, 0) << traced.err;
  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  for (const char* marker : {" R< ", " R> "}) {
    EXPECT_GT(test::CountOf(trace, marker), 100) << marker;
    EXPECT_EQ(test::CountOf(traced.out, marker), test::CountOf(trace, marker)) << marker;
  }
}

// The machine's ports as umockdev plays them from serial_ports.umockdev: a USB
// adapter and a standard port with a UART are listed; a standard port without
// one (type 0) and a virtual terminal are not. The adapter's node is made one
// the user may not open (root runs the tool as nobody, who cannot open it either).
TEST(Conventions, PortsListsTheSerialPortsWithWhatTheyAreAndMarksThoseTheUserCannotOpen) {
  const std::string testbed = EXAMPLES_DIR "/../tests/cli/serial_ports.umockdev";
  const char* script =
      "cd \"$UMOCKDEV_DIR/dev\" && chmod 666 \"$(readlink -f ttyS0)\" &&"
      " chmod 444 \"$(readlink -f ttyUSB0)\" && chmod 755 \"$UMOCKDEV_DIR\" &&"
      " if [ \"$(id -u)\" = 0 ]; then"
      "   exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$0\" ports;"
      " fi; exec \"$0\" ports";
  const ProgramRun run = RunProgram({"/usr/bin/env", "umockdev-run", "-d", testbed, "--", "sh",
                                     "-c", script, FLASH_UPDATE_CLI_PATH});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "/dev/ttyS0 (COM1): driver serial\n"
            "/dev/ttyUSB0: FTDI FT232R USB UART, serial A50285BI; driver ftdi_sio; latency timer "
            "16 ms; you cannot open it\n"
            "    also /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
            "    You have no permission to use /dev/ttyUSB0, and joining its group would not "
            "help: it needs a udev rule that lets a group such as \"dialout\" read and write "
            "it, or the administrator.\n");
}

}  // namespace
}  // namespace flash
