// Runs flash-update-cli as a process against the radio-sim program, on a
// pseudo-terminal and on loopback UDP.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <thread>

#include "sim/memory_image.h"
#include "sim/ruf_writer.h"
#include "tests/cli/tool_output_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::ChildOptions;
using test::ChildProcess;
using test::Contains;
using test::CountOf;
using test::LoadImage;
using test::RadioSim;
using test::TempDir;
using test::UdpPeer;

constexpr auto kToolTimeout = 30s;  // every run here ends in a few seconds at most
const std::string kDemoFile = EXAMPLES_DIR "/746-demo.ruf";
const std::string kDemoImage = EXAMPLES_DIR "/746-demo.hex";

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  std::chrono::milliseconds took{0};
};

ChildOptions ToolOptions(const std::vector<std::string>& arguments, const std::string& directory) {
  ChildOptions options;
  options.argv.push_back(FLASH_UPDATE_CLI_PATH);
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.workingDirectory = directory;
  return options;
}

ToolRun RunTool(const ChildOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  ChildProcess tool(options);
  ToolRun run;
  run.status = tool.Wait(kToolTimeout);
  run.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  run.out = tool.out();
  run.err = tool.err();
  return run;
}

ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& directory) {
  return RunTool(ToolOptions(arguments, directory));
}

// Polls until done() or the time runs out.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  for (const auto end = std::chrono::steady_clock::now() + timeout; !done();
       std::this_thread::sleep_for(10ms)) {
    if (std::chrono::steady_clock::now() >= end) return false;
  }
  return true;
}

RadioSim StartRadio(const TempDir& dir, std::vector<std::string> arguments) {
  return RadioSim(RADIO_SIM_PATH, std::move(arguments), dir.path());
}

// A RUF file for a model 734 with extended memory: an #E line and segment records.
std::string Write734File(const TempDir& dir) {
  sim::MemoryImage image;
  for (std::uint32_t a = 0; a < 64; ++a) image.Write(0x10000 + a, static_cast<std::uint8_t>(a * 7));
  sim::RufWriteOptions options;
  options.modelText = "Banwick 734";
  options.directives = {"#E010203"};
  const std::string path = dir.File("734-extended.ruf");
  std::string error;
  EXPECT_TRUE(sim::WriteRufFile(path, image, options, &error)) << error;
  return path;
}

// --- Program and Verify ------------------------------------------------------

TEST(CliOverPseudoTerminal, ProgramsTheExampleFileOnTheLinkOfUpdateIniWhileNothingReadsItsOutput) {
  TempDir dir;
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--image-out", "memory.hex"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  // Without a link option the link of update.ini applies, and its "STOP ON ERRORS"
  // does not switch error checking off for the tool.
  const std::string ini = "[SERIAL INTERFACE]\r\nCOMPORT=" + dir.File("radio-tty") +
                          "\r\nSTOP ON ERRORS=1\r\n[ACTIVE INTERFACE]\r\nSERIAL=1\r\nETHERNET=0\r\n";
  dir.Write("update.ini", ini);

  ChildOptions options = ToolOptions({"program", kDemoFile}, dir.path());
  options.heldOutput = true;
  ChildProcess tool(options);
  // The whole flash runs while the output waits for its reader...
  const std::string traceEnd = "[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n";
  EXPECT_TRUE(WaitUntil([&] { return TempDir::Read(dir.File("comms.txt")).ends_with(traceEnd); }, 10s));
  // ...and none of it is lost once read.
  tool.ReleaseOutput();
  const ToolRun run = {tool.Wait(kToolTimeout), tool.out(), tool.err()};
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(Contains(run.out, " 131 total data lines in file.\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, " Radio Update File for Model QV746\n"));
  EXPECT_TRUE(Contains(run.out, "Progress: 0 of 131 lines\n"));
  EXPECT_TRUE(Contains(run.out, "131 Lines Processed in "));
  EXPECT_FALSE(Contains(run.out, "\r"));
  // The result dialog's text ends the output.
  EXPECT_TRUE(run.out.ends_with("\nFlash Update Successfuly Completed !\n")) << run.out;
  EXPECT_EQ(TempDir::Read(dir.File("update.ini")), ini) << "the tool never writes update.ini";

  ASSERT_EQ(radio.Stop(), 0);
  EXPECT_TRUE(LoadImage(dir.File("memory.hex")) == LoadImage(kDemoImage));
  // The trace goes to comms.txt in the working directory by default.
  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  EXPECT_TRUE(trace.starts_with("Log File Begin\r\n")) << trace.substr(0, 200);
  EXPECT_TRUE(Contains(trace, " R< 3f 56 0d \r\n"));
}

TEST(CliOverPseudoTerminal, VerifiesEqualMemoryWith0AndChangedMemoryWith1) {
  TempDir dir;
  {
    RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--image-in", kDemoImage});
    ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
    const ToolRun run = RunTool({"verify", kDemoFile, "--serial", "./radio-tty"}, dir.path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(run.out.ends_with("\nFile and Firmware Sucessfully Verified\n")) << run.out;
  }
  sim::MemoryImage changed = LoadImage(kDemoImage);
  changed.Write(0x10123, static_cast<std::uint8_t>(changed.Read(0x10123) ^ 0x5A));
  ASSERT_TRUE(changed.SaveIntelHex(dir.File("changed.hex")));
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--image-in", "changed.hex"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  const ToolRun run = RunTool({"verify", kDemoFile, "--serial", "./radio-tty"}, dir.path());
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with(
      "\nThe selected file does not match the contents of the radio's Flash Memory system. You may "
      "be using the wrong RUF file for comparison. Cycle the power on the radio and confirm the "
      "firmware revision and try again. You may want to reprogram and reverify.\n"))
      << run.out;
}

TEST(CliOverPseudoTerminal, TestModeAndIgnoredErrorsEndWith0) {
  TempDir dir;
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  const ToolRun test = RunTool({"test", kDemoFile, "--serial", "./radio-tty"}, dir.path());
  EXPECT_EQ(test.status, 0) << test.out << test.err;
  EXPECT_TRUE(test.out.ends_with(" Close File\n")) << test.out;

  const ToolRun unchecked =
      RunTool({"program", kDemoFile, "--serial", "./radio-tty", "--ignore-errors"}, dir.path());
  EXPECT_EQ(unchecked.status, 0) << unchecked.out << unchecked.err;
  EXPECT_TRUE(Contains(unchecked.out,
                       "*** Detected Command Line Switch to Ignore Radio Responses and Errors ***"));
  EXPECT_TRUE(unchecked.out.ends_with(
      "\nFile Processing Complete! \n\nThere is no way to determine if Flash Updating was "
      "successful because error checking was turned off.\n"))
      << unchecked.out;
}

TEST(CliOverUdp, VerifiesChangedMemoryWith1AndProgramsTheExampleFileOnLoopbackWithAPasscode) {
  TempDir dir;
  sim::MemoryImage changed = LoadImage(kDemoImage);
  changed.Write(0x0010, 0x00);
  ASSERT_TRUE(changed.SaveIntelHex(dir.File("changed.hex")));
  RadioSim radio = StartRadio(dir, {"--model", "746", "--udp", "127.0.0.3:0", "--passcode", "4242",
                                    "--image-in", "changed.hex", "--image-out", "memory.hex"});
  ASSERT_GT(radio.udpPort(), 0) << radio.err();
  const std::string address = "127.0.0.3:" + std::to_string(radio.udpPort());

  const ToolRun verify = RunTool({"verify", kDemoFile, "--udp", address, "--passcode", "4242"}, dir.path());
  EXPECT_EQ(verify.status, 1) << verify.out << verify.err;
  const ToolRun run = RunTool({"program", kDemoFile, "--udp", address, "--passcode", "4242"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_TRUE(Contains(run.out, "Using Ethernet Interface \n"));
  EXPECT_TRUE(run.out.ends_with("\nFlash Update Successfuly Completed !\n")) << run.out;
  ASSERT_EQ(radio.Stop(), 0);
  EXPECT_TRUE(LoadImage(dir.File("memory.hex")) == LoadImage(kDemoImage));
}

// --- Refusals ------------------------------------------------------------------

TEST(CliRefusals, AModelMismatchOrAnUnlistedModelExitsWith3AtOnceAfterTheIdentification) {
  TempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--model", "781"}, "The selected RUF file is not compatible with the Fennic\n"},
      {{"--model", "746", "--report-model", "999"},
       "The radio reports model 999, which this program does not know: the radio refused the "
       "file and nothing of it was sent.\n"},
  };
  for (const auto& [model, error] : cases) {
    std::vector<std::string> arguments = {"--link", "./radio-tty", "--verbose"};
    arguments.insert(arguments.end(), model.begin(), model.end());
    RadioSim radio = StartRadio(dir, arguments);
    ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
    const ToolRun run = RunTool({"program", kDemoFile, "--serial", "./radio-tty"}, dir.path());
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_LT(run.took, 3s);
    EXPECT_EQ(run.err, "flash-update-cli: " + error);
    radio.Stop();
    // Only the identification request reached the radio.
    EXPECT_TRUE(Contains(radio.err(), "radio-sim: #1 ")) << radio.err();
    EXPECT_FALSE(Contains(radio.err(), "radio-sim: #2 ")) << radio.err();
  }
}

TEST(CliRefusals, AMalformedFileExitsWith4AndNothingIsSent) {
  TempDir dir;
  std::string content = TempDir::Read(kDemoFile);
  const std::size_t third = content.find("\n:1000200") + 1;
  content.replace(third + 3, 1, "X");  // line 9: the address holds an 'X'
  const std::string path = dir.Write("746-broken.ruf", content);
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--verbose"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();

  const ToolRun run = RunTool({"program", path, "--serial", "./radio-tty"}, dir.path());
  EXPECT_EQ(run.status, 4) << run.out << run.err;
  EXPECT_TRUE(Contains(run.out, " Line 9 breaks the update file format: address: 'X' at column 3 "
                                "is not a hex digit\n"))
      << run.out;
  EXPECT_TRUE(Contains(run.out, " The file was refused; nothing was sent to the radio.\n"));
  EXPECT_TRUE(run.err.starts_with("flash-update-cli: The file " + path +
                                  " breaks the update file format at line 9 "))
      << run.err;
  radio.Stop();
  EXPECT_FALSE(Contains(radio.err(), "radio-sim: #")) << radio.err();
  EXPECT_FALSE(std::filesystem::exists(dir.File("comms.txt")));
}

TEST(CliRefusals, AFileThatCannotBeOpenedExitsWith4) {
  TempDir dir;
  const ToolRun missing = RunTool({"program", dir.File("746-none.ruf"), "--serial", "/dev/null"}, dir.path());
  EXPECT_EQ(missing.status, 4) << missing.out << missing.err;
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "flash-update-cli: Unable to open file " + dir.File("746-none.ruf") +
                             ": No such file or directory\n");
  const ToolRun directory = RunTool({"verify", dir.path(), "--serial", "/dev/null"}, dir.path());
  EXPECT_EQ(directory.status, 4);
}

TEST(CliRefusals, AMissingSerialPortExitsWith5AtOnce) {
  TempDir dir;
  const ToolRun run = RunTool({"program", kDemoFile, "--serial", "./no-such-tty"}, dir.path());
  EXPECT_EQ(run.status, 5) << run.out << run.err;
  EXPECT_LT(run.took, 3s);
  EXPECT_TRUE(Contains(run.out, " Serial port " + dir.File("no-such-tty") + " (" + dir.File("no-such-tty") +
                                    ") is not available.\n"))
      << run.out;
  EXPECT_EQ(run.err, "flash-update-cli: Serial port " + dir.File("no-such-tty") + " (" +
                        dir.File("no-such-tty") + ") is not available.\n" +
                        "flash-update-cli: That PORT is not available \n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("comms.txt")));
}

TEST(CliRefusals, AUdpPortThatCannotBeBoundExitsWith5) {
  TempDir dir;
  // A socket without address reuse holds the port on every address.
  const UdpPeer holder("0.0.0.0");
  ASSERT_TRUE(holder.bound());
  const ToolRun run =
      RunTool({"program", kDemoFile, "--udp", "127.0.0.4:" + std::to_string(holder.port())}, dir.path());
  EXPECT_EQ(run.status, 5) << run.out << run.err;
  EXPECT_TRUE(run.err.starts_with("flash-update-cli: Socket Create returned error code ")) << run.err;
}

TEST(CliUsage, BadCommandLinesExitWith64WithTheirReasonAndTheUsageOnStandardError) {
  TempDir dir;
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command given"},
      {{"flash", "a.ruf"}, "unknown command 'flash'"},
      {{"program"}, "the RUF-FILE is missing"},
      {{"program", "a.ruf", "b.ruf"}, "one RUF-FILE only ('b.ruf' is one too many)"},
      {{"verify", "a.ruf", "--bogus"}, "unknown option --bogus"},
      {{"program", "a.ruf", "--serial", "--udp", "h"}, "--serial needs a value"},
      {{"program", "a.ruf", "--serial", "COM1", "--udp", "h"}, "--serial and --udp exclude each other"},
      {{"program", "a.ruf", "--passcode=-1"},
       "--passcode -1: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--passcode", "65536"},
       "--passcode 65536: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--udp", "h:0"}, "--udp h:0: the port must be a number from 1 to 65535"},
      {{"program", "a.ruf", "--udp", ":5000"}, "--udp :5000: the host is missing (HOST[:PORT])"},
      {{"program", "a.ruf", "--udp", "::1:5000"},
       "--udp ::1:5000: HOST must be an IPv4 address or a host name"},
      {{"program", "a.ruf", "--personality", "0"}, "--personality 0: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--personality", "7"}, "--personality 7: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--ignore-errors=1"}, "--ignore-errors takes no value"},
      {{"program", "a.ruf", "--trace", "a", "--trace", "b"}, "--trace is given twice"},
      {{"check", "a.ruf", "--serial", "COM1"}, "check takes no options (--serial)"},
  };
  for (const auto& [arguments, reason] : cases) {
    const ToolRun run = RunTool(arguments, dir.path());
    EXPECT_EQ(run.status, 64) << ::testing::PrintToString(arguments);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "flash-update-cli: " + reason + "; try 'flash-update-cli --help'\n");
  }
  const ToolRun help = RunTool({"verify", "--help"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage:\n"));
  for (const char* word : {"program RUF-FILE", "verify  RUF-FILE", "test    RUF-FILE",
                           "check   RUF-FILE", "--serial DEVICE", "--udp HOST[:PORT]",
                           "--passcode N", "--ignore-errors", "--personality K", "--trace FILE"}) {
    EXPECT_TRUE(Contains(help.out, word)) << word;
  }
}

// --- Personality, trace, Ctrl-C ----------------------------------------------------

TEST(CliPersonality, TheOptionChoosesTheMemoryOfAnExtendedModel734OrCancels) {
  TempDir dir;
  const std::string file = Write734File(dir);
  RadioSim radio = StartRadio(dir, {"--model", "734", "--extended", "--link", "./radio-tty"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();

  const ToolRun chosen =
      RunTool({"program", file, "--serial", "./radio-tty", "--personality", "3"}, dir.path());
  EXPECT_EQ(chosen.status, 0) << chosen.out << chosen.err;
  EXPECT_TRUE(Contains(chosen.out, "Extended memory: Radio Personality 3 (--personality).\n"));
  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  EXPECT_TRUE(Contains(trace, " R< 5a 5a 0d \r\n")) << trace;
  // The #E line becomes the extended-memory frame of personality 3, and no segment is sent.
  EXPECT_TRUE(Contains(trace, " R< 45 03 00 00 fd 0d \r\n")) << trace;
  EXPECT_FALSE(Contains(trace, " R< 41 ")) << trace;

  const ToolRun cancelled =
      RunTool({"program", file, "--serial", "./radio-tty", "--personality", "cancel"}, dir.path());
  EXPECT_EQ(cancelled.status, 3) << cancelled.out << cancelled.err;
  EXPECT_TRUE(Contains(cancelled.out, " The update was cancelled; nothing of the file was sent.\n"));
  EXPECT_TRUE(Contains(TempDir::Read(dir.File("comms.txt")), " R< 50 30 0d \r\n"));

  // Without the option and without a terminal to ask on, the question counts as cancel.
  std::filesystem::remove(dir.File("comms.txt"));
  const ToolRun unasked = RunTool({"program", file, "--serial", "./radio-tty"}, dir.path());
  EXPECT_EQ(unasked.status, 3) << unasked.out << unasked.err;
  EXPECT_TRUE(Contains(unasked.err, "there is no terminal to ask which personality")) << unasked.err;
  EXPECT_TRUE(Contains(TempDir::Read(dir.File("comms.txt")), " R< 50 30 0d \r\n"));
}

TEST(CliPersonality, OnATerminalTheQuestionIsAskedAndTheProgressIsOneUpdatingLine) {
  TempDir dir;
  const std::string file = Write734File(dir);
  RadioSim radio = StartRadio(dir, {"--model", "734", "--extended", "--link", "./radio-tty"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();

  ChildOptions options = ToolOptions({"program", file, "--serial", "./radio-tty"}, dir.path());
  options.terminal = true;
  ChildProcess tool(options);
  ASSERT_TRUE(tool.WaitForOutput(
      [](const std::string& out) { return Contains(out, "Radio Personality 1 to 6, or c to cancel: "); },
      10s))
      << tool.out();
  tool.Type("9\n");
  ASSERT_TRUE(tool.WaitForOutput(
      [](const std::string& out) { return Contains(out, "Please type 1, 2, 3, 4, 5 or 6, or c to cancel: "); },
      10s))
      << tool.out();
  tool.Type("2\n");
  EXPECT_EQ(tool.Wait(kToolTimeout), 0) << tool.out() << tool.err();
  EXPECT_TRUE(Contains(tool.out(), "\r\033[K0 of 6 lines")) << tool.out();
  EXPECT_FALSE(Contains(tool.out(), "Progress: "));
  EXPECT_TRUE(Contains(tool.out(), "Flash Update Successfuly Completed !"));
}

TEST(CliTrace, TheTraceOptionWritesTheTraceToTheGivenFileAlsoWithStandardInputAndOutputClosed) {
  TempDir dir;
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  std::filesystem::create_directory(dir.File("logs"));
  ChildOptions options = ToolOptions(
      {"program", kDemoFile, "--serial", "./radio-tty", "--trace", "logs/run-1.txt"}, dir.path());
  options.closedDescriptors = {STDIN_FILENO, STDOUT_FILENO};
  const ToolRun run = RunTool(options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string trace = TempDir::Read(dir.File("logs/run-1.txt"));
  EXPECT_TRUE(trace.starts_with("Log File Begin\r\n"));
  EXPECT_TRUE(trace.ends_with("[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("comms.txt")));
}

TEST(CliTrace, TheTraceHoldsEveryRequestWhileTheOperationRunsAndAfterAKill) {
  TempDir dir;
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--silent-from", "5"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  ChildProcess tool(ToolOptions({"program", kDemoFile, "--serial", "./radio-tty"}, dir.path()));
  // The tool waits 5 s for the answer to the fifth request; the trace already ends with it.
  std::string trace;
  for (const auto deadline = std::chrono::steady_clock::now() + 10s;
       !(CountOf(trace, " R< ") >= 5 && trace.ends_with("\r\n")) &&
       std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(10ms)) {
    trace = TempDir::Read(dir.File("comms.txt"));
  }
  ASSERT_GE(CountOf(trace, " R< "), 5) << trace;
  const std::string lastLine = trace.substr(trace.rfind("\r\n", trace.size() - 3) + 2);
  EXPECT_TRUE(Contains(lastLine, " R< ")) << trace;
  tool.Signal(SIGKILL);
  EXPECT_EQ(tool.Wait(5s), 128 + SIGKILL);
  EXPECT_EQ(TempDir::Read(dir.File("comms.txt")), trace);
}

TEST(CliTrace, ATraceThatCannotBeUsedIsSaidOnceAndTheProgramStillSucceeds) {
  TempDir dir;
  // A folder in the trace's place: no user, root included, can open it for writing.
  std::filesystem::create_directory(dir.File("comms.txt"));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      // A device is never written, not even one that takes every write.
      {{"--trace", "/dev/full"}, "The trace file /dev/full is not a regular file"},
      {{}, "The trace file comms.txt could not be created"},
  };
  for (const auto& [traceOptions, said] : cases) {
    RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--image-out", "memory.hex"});
    ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
    std::vector<std::string> arguments = {"program", kDemoFile, "--serial", "./radio-tty"};
    arguments.insert(arguments.end(), traceOptions.begin(), traceOptions.end());
    const ToolRun run = RunTool(arguments, dir.path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(CountOf(run.out, "The trace file "), 1) << run.out;
    EXPECT_TRUE(Contains(run.out, said)) << run.out;
    EXPECT_TRUE(run.out.ends_with("\nFlash Update Successfuly Completed !\n")) << run.out;
    ASSERT_EQ(radio.Stop(), 0);
    EXPECT_TRUE(LoadImage(dir.File("memory.hex")) == LoadImage(kDemoImage));
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("comms.txt")));
}

TEST(CliStop, CtrlCStopsTheOperationWith130WithinASecondWhileNothingReadsItsOutput) {
  TempDir dir;
  // 20 ms per answer: the 131 lines would take about three seconds.
  RadioSim radio = StartRadio(dir, {"--model", "746", "--link", "./radio-tty", "--delay-ms", "20", "--verbose"});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();
  ChildOptions options = ToolOptions({"program", kDemoFile, "--serial", "./radio-tty"}, dir.path());
  options.heldOutput = true;
  ChildProcess tool(options);
  ASSERT_TRUE(radio.WaitForRequest(10, 10s)) << radio.err();
  const auto stopped = std::chrono::steady_clock::now();
  tool.Signal(SIGINT);
  EXPECT_EQ(tool.Wait(5s), 130) << tool.err();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s);
  EXPECT_EQ(tool.err(), "flash-update-cli: stopped by signal 2; the links and the trace file are closed.\n");

  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  ASSERT_TRUE(trace.starts_with("Log File Begin\r\n")) << trace.substr(0, 100);
  ASSERT_TRUE(trace.ends_with("\r\n"));
  // Every record is whole: a timestamp, a direction and the bytes (an answer's
  // with the CR the trace has always kept), ended by CR LF.
  const std::regex record(
      R"(\d\d:\d\d:\d\d:\d{4} (R< ([0-9a-f]{2} )+|R> ([0-9A-F]{2} )+\r|R> READY RESPONSE DETECTED))");
  std::istringstream lines(trace.substr(std::string("Log File Begin\r\n").size()));
  int records = 0;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(line.ends_with("\r")) << line;
    line.pop_back();
    EXPECT_TRUE(std::regex_match(line, record)) << line;
    ++records;
  }
  const int sent = CountOf(trace, " R< ");
  EXPECT_GT(sent, 5);
  EXPECT_LT(sent, 131);
  radio.Stop();
  // Every request the radio received is in the trace.
  EXPECT_LE(CountOf(radio.err(), " answer \"") + CountOf(radio.err(), " no answer"), sent) << radio.err();
  EXPECT_GT(records, sent);
}

}  // namespace
}  // namespace flash
