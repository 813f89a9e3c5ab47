// flash-update-cli as a process against the radio-sim program, for what only a
// whole run shows: its exit status, its output streams, the trace on disk, a signal.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/exit_status.h"
#include "cli/fleet_report.h"
#include "cli/station_record.h"
#include "tests/cli/tool_output_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ChildOptions;
using test::ChildProcess;
using test::kDemoFile;
using test::Contains;
using test::CountOf;
using test::RadioSim;
using test::TempDir;

constexpr auto kToolTimeout = 30s;  // every run here ends in 20 s at most
const std::string kTraceEnd = "[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n";

ChildOptions Tool(const std::vector<std::string>& arguments, const TempDir& dir) {
  ChildOptions options;
  options.argv.push_back(FLASH_UPDATE_CLI_PATH);
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.workingDirectory = dir.path();
  return options;
}

// A file for a model 734 with extended memory: an #E line, then records in segment 0x1000.
std::string Write734File(const TempDir& dir) {
  return dir.Write("734-extended.ruf", "#MBanwick 734\r\n#E010203\r\n:020000021000EC\r\n"
                                       ":0400000001020304F2\r\n:0400040001020304EE\r\n:00000001FF\r\n");
}

// A station's record of the adapter with this serial number.
std::string Record(const std::string& serial, int model, const std::string& outcome) {
  StationRecord r{.adapterSerial = serial, .radioModelCode = model, .outcome = outcome};
  if (model == 746) r.radioModel = "Model QV746";
  r.end = "2026-12-07T10:00:00.000Z";
  r.operations = {{"program", outcome, "", 5, 131, 1.0}};
  return RecordJsonLine(r);
}

// The radio (none when radio is empty) and the tool's command line, where "@" stands
// for the radio's link and "HELD" for a UDP port another socket holds.
struct Case {
  std::vector<std::string> radio;
  std::vector<std::string> tool;
  int status;
  std::string out;           // a part of standard output
  std::string err;           // a part of standard error; "": standard error stays empty
  int requests = 999;        // at most this many requests reach the radio
  std::vector<int> closed{};  // standard descriptors the tool starts without
};

TEST(ToolRun, EndsWithTheExitStatusOfWhatHappened) {
  TempDir dir;
  const std::string f734 = Write734File(dir);
  std::string broken = TempDir::Read(kDemoFile);
  broken.replace(broken.find("\n:1000200") + 4, 1, "X");  // line 9: an 'X' in the address
  const std::string brokenFile = dir.Write("746-broken.ruf", broken);
  dir.Write("746-faulty.ruf", ":020000020000FC\r\nS3090000010001020304EB\r\n:00000001FF\r\n");
  dir.Write("746-badsum.ruf", ":020000020000FC\r\nS3090000010001020304EC\r\n");
  // With errors ignored each silence lasts 10 s: one record keeps a silent radio's run short.
  const std::string oneRecord = dir.Write("746-one.ruf", ":0300300002337A1E\r\n");
  std::filesystem::create_directory(dir.File("logs"));
  const test::UdpPeer holder("0.0.0.0");  // without address reuse it holds its port on every address
  const std::string records = dir.Write("records.jsonl", Record("A1", 746, "failed") + "{}\n" +
                                        Record("B2", 734, "failed") + Record("A1", 746, "success"));
  const std::vector<std::string> sim746 = {"--model", "746"};
  const std::vector<std::string> wrongEcho = {"--model", "746", "--wrong-echo-from", "5"};
  const std::vector<std::string> sim734 = {"--model", "734", "--extended"};
  const std::vector<Case> runs = {
      {{"--model", "746", "--image-in", EXAMPLES_DIR "/746-demo.hex"}, {"verify", kDemoFile, "--serial", "@"},
       0, "\nFile and Firmware Sucessfully Verified\n", ""},
      {wrongEcho, {"program", kDemoFile, "--serial", "@"}, 1, "\nUnable to update the radio's Flash",
       "flash-update-cli: The update failed: the radio did not echo"},
      // Errors ignored: an end of its own, and a radio that never answered is no end at all.
      {wrongEcho, {"program", kDemoFile, "--serial", "@", "--ignore-errors"}, kExitUnchecked,
       "*** Detected Command Line Switch to Ignore Radio Responses and Errors ***",
       "flash-update-cli: the radio's answers were not checked (--ignore-errors): nothing shows "
       "that it holds the file.\n"},
      {{"--model", "746", "--silent-from", "1"}, {"program", oneRecord, "--serial", "@", "--ignore-errors"},
       2, "File Processing Complete!", "flash-update-cli: the radio never answered during the whole run"},
      {sim746, {"test", kDemoFile, "--serial", "@"}, 0, " Close File\n", ""},
      // A pulled cable ends the run at once with where it stood, not after the silences.
      {{"--model", "746", "--pull-at", "20"}, {"program", kDemoFile, "--serial", "@"}, 2, "",
       "went away (cable pulled?) at line 21 of 131; the update is not complete.\n"},
      // Program then Verify: 0 only when the memory holds the file; refused where a Verify proves nothing.
      {{"--model", "746", "--expect", kDemoFile}, {"program", kDemoFile, "--serial", "@", "--verify"}, 0,
       "Successfuly Completed !\n\n *** Verify after Program", ""},
      {{"--model", "746", "--bad-cell", "0x40"}, {"program", kDemoFile, "--serial", "@", "--verify"}, 1,
       "", "the radio was written but does not hold the file: the radio's memory differs from the file in 1 line"},
      {{}, {"program", dir.File("746-faulty.ruf"), "--serial", "/dev/null", "--verify"}, 4, "",
       "A Verify cannot prove that the radio holds " + dir.File("746-faulty.ruf")},
      {{}, {"verify", dir.File("746-faulty.ruf"), "--serial", "./r1", "--serial", "./r2"}, 4, "",
       "A Verify cannot prove that the radio holds " + dir.File("746-faulty.ruf") +
           ": its S-record lines reach the radio without the Verify mode byte, and the radio "
           "writes them. Nothing was sent to any radio.\n"},
      {{"--model", "746", "--udp", "127.0.0.3:0", "--passcode", "4242", "--expect", kDemoFile},
       {"program", kDemoFile, "--udp", "@", "--passcode", "4242"}, 0, "\nFlash Update Successfuly", ""},
      {sim746, {"program", kDemoFile, "--serial", "@", "--trace", "logs/run-1.txt"}, 0, "", "", 999,
       {STDIN_FILENO, STDOUT_FILENO}},
      // What the operation survives is told on standard error too: a file that does something
      // unexpected, and a trace that cannot be written.
      {sim746, {"program", dir.Write("746-after-end.ruf", ":00000001FF\r\n:0300300002337A1E\r\n"),
       "--serial", "@"}, 0, "", "flash-update-cli: Warning: line 2 of this file holds a record after"},
      {sim746, {"program", kDemoFile, "--serial", "@", "--trace", "nowhere/t.txt"}, kExitOutputNotWritten,
       "", ": The trace file nowhere/t.txt could not be created (No such file or directory); the "},
      {{"--model", "781"}, {"program", kDemoFile, "--serial", "@"}, 3, "",
       "The selected RUF file is not compatible with the Fennic\n", 1},
      {{"--model", "746", "--report-model", "999"}, {"program", kDemoFile, "--serial", "@"}, 3, "",
       "The radio reports model 999, which this program does not know", 1},
      {sim734, {"program", f734, "--serial", "@", "--personality", "cancel"}, 3,
       " The update was cancelled; nothing of the file was sent.\n",
       "flash-update-cli: The update was cancelled; nothing of the file was sent.", 2},
      {sim734, {"program", f734, "--serial", "@"}, 3, "", "there is no terminal to ask which personality", 2},
      {sim746, {"program", brokenFile, "--serial", "@"}, 4,
       " Line 9 breaks the update file format: address: 'X' at column 3 is not a hex digit\n",
       "The file " + brokenFile + " breaks the update file format at line 9", 0},
      {{}, {"program", dir.File("746-none.ruf"), "--serial", "/dev/null"}, 4, "",
       "flash-update-cli: Unable to open file " + dir.File("746-none.ruf") + ": No such file or directory\n"},
      {{}, {"program", kDemoFile, "--serial", "./no-such-tty"}, 5, "no-such-tty is not available: it does not exist",
       "flash-update-cli: That PORT is not available: " + dir.File("no-such-tty") +
           ": it does not exist (is the cable or the USB adapter plugged in?). Nothing was sent to the radio.\n"},
      {{}, {"program", kDemoFile, "--udp", "127.0.0.4:HELD"}, 5, "", "Socket Create returned error code "},
      {{}, {"program", kDemoFile, "--udp", "radio..local"}, 5, "", "radio..local cannot be resolved"},
      {{}, {"check", kDemoFile}, 0, "Data lines: 131\n", ""},
      {{}, {"check", dir.File("746-badsum.ruf")}, 1, "Line 2: wrong checksum: checksum EC written, EB", ""},
      {{}, {"check", dir.path()}, 4, "", "cannot open " + dir.path() + ": it is a directory\n"},
      {{}, {"verify", "--help"}, 0, "Usage:\n", ""},
      // A station's records: the last of each adapter, totals of those; a line that is none is
      // told and skipped.
      {{}, {"records", records}, 0, "\n2 radios in 3 records.\nBy outcome: failed 1, success 1.\n"
       "By model: 734 1, 746 Model QV746 1.\n", records + ":2: not a record (no start); skipped\n"},
      {{}, {"records", dir.File("none.jsonl")}, kExitNoInput, "", "none.jsonl: No such file or"},
  };
  for (const Case& run : runs) {
    std::vector<std::string> radioArguments = run.radio;
    const bool udp = std::find(run.radio.begin(), run.radio.end(), "--udp") != run.radio.end();
    if (!udp) radioArguments.insert(radioArguments.end(), {"--link", "./radio-tty"});
    if (run.requests < 999) radioArguments.push_back("--verbose");  // a report the test reads whole
    std::optional<RadioSim> radio;
    if (!run.radio.empty()) radio.emplace(RADIO_SIM_PATH, radioArguments, dir.path());
    std::vector<std::string> arguments = run.tool;
    for (std::string& a : arguments) {
      if (a == "@") a = udp ? "127.0.0.3:" + std::to_string(radio->udpPort()) : "./radio-tty";
      if (a.ends_with(":HELD")) a.replace(a.size() - 4, 4, std::to_string(holder.port()));
    }
    const std::string what = ::testing::PrintToString(arguments);
    ChildOptions options = Tool(arguments, dir);
    options.closedDescriptors = run.closed;
    ChildProcess tool(options);
    EXPECT_EQ(tool.Wait(kToolTimeout), run.status) << what << tool.out() << tool.err();
    EXPECT_TRUE(Contains(tool.out(), run.out)) << what << tool.out();
    EXPECT_TRUE(run.err.empty() ? tool.err().empty() : Contains(tool.err(), run.err)) << what << tool.err();
    EXPECT_LE(CountOf(tool.err(), "not available"), 1) << what << "said once: " << tool.err();
    if (radio) {
      EXPECT_EQ(radio->Stop(), 0) << what << radio->out();
      EXPECT_FALSE(Contains(radio->err(), "radio-sim: #" + std::to_string(run.requests + 1) + " "))
          << what << radio->err();
    }
  }
  // The trace went where --trace said, whole and with nothing of the output in it.
  const std::string trace = TempDir::Read(dir.File("logs/run-1.txt"));
  EXPECT_TRUE(trace.starts_with("Log File Begin\r\n") && trace.ends_with(kTraceEnd)) << trace;
  // A radio that stays silent is given up after eight 5-second waits: too long to
  // wait for here, so its status is read from the table the tool ends with.
  EXPECT_EQ(ExitStatusFor(OperationOutcome::CommunicationFailed), 2);
}

// Without a link option the link of update.ini applies, and its "STOP ON ERRORS"
// does not switch error checking off for the tool.
TEST(ToolRun, ProgramsTheLinkOfUpdateIniWhileNothingReadsItsOutputAndLeavesItsTraceOnDisk) {
  TempDir dir;
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", "tty", "--expect", kDemoFile}, dir.path());
  const std::string ini = "[SERIAL INTERFACE]\r\nCOMPORT=" + dir.File("tty") +
                          "\r\nSTOP ON ERRORS=1\r\n[ACTIVE INTERFACE]\r\nSERIAL=1\r\nETHERNET=0\r\n";
  dir.Write("update.ini", ini);
  ChildOptions options = Tool({"program", kDemoFile}, dir);
  options.heldOutput = true;
  ChildProcess tool(options);
  // The whole flash runs while the output waits for its reader...
  const auto end = Clock::now() + 10s;
  while (!TempDir::Read(dir.File("comms.txt")).ends_with(kTraceEnd) && Clock::now() < end) {
    std::this_thread::sleep_for(10ms);
  }
  // ...and none of it is lost once read.
  tool.ReleaseOutput();
  EXPECT_EQ(tool.Wait(kToolTimeout), 0) << tool.out() << tool.err();
  for (const char* part : {" 131 total data lines in file.\n", "\nProgress: 0 of 131 lines\n",
                           "\n131 Lines Processed in "}) {
    EXPECT_TRUE(Contains(tool.out(), part)) << part << tool.out();
  }
  EXPECT_FALSE(Contains(tool.out(), "\r"));
  EXPECT_TRUE(tool.out().ends_with("\nFlash Update Successfuly Completed !\n")) << "the result comes last";
  EXPECT_EQ(TempDir::Read(dir.File("update.ini")), ini) << "the tool never writes update.ini";
  EXPECT_EQ(radio.Stop(), 0) << "the radio's memory equals the file: " << radio.out();

  // The trace is in the working directory, every line stamped with the UTC time.
  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  ASSERT_TRUE(trace.starts_with("Log File Begin\r\n") && trace.ends_with(kTraceEnd)) << trace.substr(0, 200);
  EXPECT_TRUE(Contains(trace, " R< 3f 56 0d \r\n"));
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  const int stamped = std::stoi(trace.substr(16, 2)) * 60 + std::stoi(trace.substr(19, 2));
  EXPECT_LE((utc.tm_hour * 60 + utc.tm_min - stamped + 1440) % 1440, 1) << trace.substr(16, 13);
}

TEST(ToolRun, OnATerminalAsksForThePersonalityAndDrawsTheProgressOnOneLine) {
  TempDir dir;
  RadioSim radio(RADIO_SIM_PATH, {"--model", "734", "--extended", "--link", "./radio-tty"}, dir.path());
  ChildOptions options = Tool({"program", Write734File(dir), "--serial", "./radio-tty"}, dir);
  options.terminal = true;
  ChildProcess tool(options);
  for (const auto& [asked, typed] : {std::pair{"Radio Personality 1 to 6, or c to cancel: ", "9\n"},
                                     std::pair{"Please type 1, 2, 3, 4, 5 or 6, or c to cancel: ", "6\n"}}) {
    ASSERT_TRUE(tool.WaitForOutput([&](const std::string& out) { return Contains(out, asked); }, 10s));
    tool.Type(typed);
  }
  tool.Type("c\n");  // would cancel at once if 6 had been refused
  EXPECT_EQ(tool.Wait(kToolTimeout), 0) << tool.out() << tool.err();
  const std::string out = tool.out();
  EXPECT_TRUE(Contains(out, "\r\033[K0 of 4 lines") && !Contains(out, "Progress")) << out;
  EXPECT_TRUE(Contains(tool.out(), "Flash Update Successfuly Completed !"));
  // The #E line becomes the extended-memory frame of personality 6, and no segment is sent.
  const std::string trace = TempDir::Read(dir.File("comms.txt"));
  EXPECT_TRUE(Contains(trace, " R< 45 06 00 00 fa 0d \r\n") && !Contains(trace, " R< 41 ")) << trace;
}

TEST(ToolRun, CtrlCStopsWith130WithinASecondSaysHowFarItGotAndLeavesWholeTraceRecords) {
  TempDir dir;
  // 20 ms per answer: the 131 lines would take about three seconds.
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--link", "./radio-tty", "--delay-ms", "20", "--verbose"},
                 dir.path());
  ChildOptions options = Tool({"program", kDemoFile, "--serial", "./radio-tty"}, dir);
  options.heldOutput = true;
  ChildProcess tool(options);
  ASSERT_TRUE(radio.WaitForRequest(10, 10s)) << radio.err();
  const auto stopped = Clock::now();
  tool.Signal(SIGINT);
  EXPECT_EQ(tool.Wait(5s), 130) << tool.err();
  EXPECT_LT(Clock::now() - stopped, 1s);
  std::smatch said;
  const std::string err = tool.err();
  ASSERT_TRUE(std::regex_match(err, said, std::regex("flash-update-cli: stopped: mid-flash by signal 2, after "
                                                     "(\\d+) of 131 lines; the radio may need a new update\\. "
                                                     "The links and the trace file are closed\\.\n")))
      << err;

  // Every record is whole: a timestamp, a direction and the bytes (an answer's
  // with the CR the trace has always kept), ended by CR LF; the stop note ends it.
  std::string trace = TempDir::Read(dir.File("comms.txt"));
  ASSERT_TRUE(trace.starts_with("Log File Begin\r\n")) << trace.substr(0, 100);
  const std::string note = "[[operation stopped by signal 2]]\r\n";
  ASSERT_TRUE(trace.ends_with(note)) << trace.substr(trace.size() - std::min<std::size_t>(trace.size(), 200));
  trace.erase(trace.rfind('\n', trace.size() - note.size()) + 1);
  const std::regex record(
      R"(\d\d:\d\d:\d\d:\d{4} (R< ([0-9a-f]{2} )+|R> ([0-9A-F]{2} )+\r|R> READY RESPONSE DETECTED)\r)");
  std::istringstream lines(trace.substr(std::string("Log File Begin\r\n").size()));
  int sent = 0;
  for (std::string line; std::getline(lines, line); sent += line.find(" R< ") != std::string::npos) {
    EXPECT_TRUE(std::regex_match(line, record)) << line;
  }
  EXPECT_GT(sent, 5);
  // The lines said are the records that went out: all requests but "?V" and "ZZ".
  EXPECT_EQ(std::stoi(said[1]), sent - 2);
}

// Six radios at once, four on pseudo-terminals and two sharing one UDP port: each
// ends in its own way, with its own trace; Ctrl-C stops the silent one still running.
TEST(ToolRun, FlashesSixRadiosAtOnceEachWithItsOwnResultAndTraceAndCtrlCStopsTheOneLeft) {
  TempDir dir;
  struct Radio {
    std::vector<std::string> options;
    std::string trace, outcome, reason;
    int status;
  };
  std::vector<Radio> fleet = {
      {{"--link", "./tty1", "--expect", kDemoFile}, "tty1", "success", "", 0},
      {{"--link", "./tty2", "--expect", kDemoFile}, "tty2", "success", "", 0},
      {{"--link", "./tty3", "--model", "781"}, "tty3", "refused", "the radio is a Fennic 781.", 3},
      {{"--link", "./tty4", "--wrong-echo-from", "5"}, "tty4", "failed", "the radio did not echo 128 lines", 1},
      {{"--udp", "127.0.0.2:0", "--expect", kDemoFile}, "127.0.0.2-", "success", "", 0},
      {{"--udp", "127.0.0.3:", "--silent-from", "20"}, "127.0.0.3-", "stopped", "mid-flash by signal 2, after ", 130}};
  std::vector<std::unique_ptr<RadioSim>> radios;
  std::vector<std::string> tool = {"program", kDemoFile, "--trace-dir", "traces", "--report", "r.json"};
  for (Radio& r : fleet) {
    if (r.options[1] == "127.0.0.3:") r.options[1] += std::to_string(radios.back()->udpPort());
    if (r.outcome != "refused") r.options.insert(r.options.end(), {"--model", "746"});
    // Each request reported; not by the radio of 500 wrong echoes, whose report would fill its pipe.
    if (r.outcome != "failed") r.options.push_back("--verbose");
    radios.push_back(std::make_unique<RadioSim>(RADIO_SIM_PATH, r.options, dir.path()));
    tool.insert(tool.end(), {r.options[0] == "--udp" ? "--udp" : "--serial", r.options[0] == "--udp" ? radios.back()->endpoint() : r.options[1]});
    if (r.trace.ends_with("-")) r.trace += std::to_string(radios.back()->udpPort());
  }
  ChildProcess run(Tool(tool, dir));
  ASSERT_TRUE(run.WaitForOutput([](const std::string& out) {
    return CountOf(out, " success\n") == 3 && Contains(out, " refused\n") && Contains(out, " failed\n");
  }, 20s)) << run.out() << run.err();
  ASSERT_TRUE(radios.back()->WaitForRequest(20, 5s));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(kToolTimeout), 130) << run.err();
  EXPECT_TRUE(Contains(run.err(), "stopped by signal 2; every radio's link and trace file are closed.\n"));

  // The report parses into one object per radio, each as the summary shows it.
  const auto report = nlohmann::json::parse(TempDir::Read(dir.File("r.json")));
  ASSERT_EQ(report.size(), fleet.size()) << report;
  for (std::size_t i = 0; i < fleet.size(); ++i) {
    const Radio& r = fleet[i];
    const auto& o = report[i];
    const std::string link = o["link"], outcome = o["outcome"], reason = o["reason"];
    EXPECT_EQ(outcome + " " + o["exitStatus"].dump(), r.outcome + " " + std::to_string(r.status)) << link;
    EXPECT_TRUE(Contains(reason, r.reason)) << reason;
    const std::string row = "\n" + link + " ";
    const std::size_t at = run.out().rfind(row);
    ASSERT_NE(at, std::string::npos) << run.out();
    const std::string line = run.out().substr(at + 1, run.out().find('\n', at + 1) - at - 1);
    for (const std::string& part : {" " + (o["model"].is_null() ? "-" : o["model"].dump()) + " ",
                                   " " + o["linesSent"].dump() + " of " + o["linesTotal"].dump() + " ",
                                   " " + outcome + (reason.empty() ? "" : ": " + reason)}) {
      EXPECT_TRUE(Contains(line, part)) << line << " lacks " << part;
    }
    // Each trace holds its own radio's exchange: every request the radio saw, no other.
    const std::string trace = TempDir::Read(dir.File("traces/" + r.trace + ".txt"));
    EXPECT_EQ(radios[i]->Stop(), 0) << "the memory of a good radio equals the file: " << radios[i]->out();
    if (r.outcome != "failed") {
      EXPECT_EQ(CountOf(trace, " R< "), CountOf(radios[i]->err(), " bytes) \"")) << r.trace;
    }
  }
  EXPECT_TRUE(TempDir::Read(dir.File("traces/" + fleet.back().trace + ".txt"))
                  .ends_with("[[operation stopped by signal 2]]\r\n"));
}

// A third radio's port is missing: its row and its report object say why, once.
TEST(ToolRun, VerifiesEachRadioOfAFleetAfterProgrammingItAndReportsBothOrWhyItsPortIsMissing) {
  TempDir dir;
  RadioSim radios(RADIO_SIM_PATH, {"--model", "746", "--count", "2", "--link", "./r%d", "--radio", "2",
                                   "--bad-cell", "0x40"}, dir.path());
  ChildProcess tool(Tool({"program", kDemoFile, "--serial", "./r1", "--serial", "./r2", "--serial", "./r3",
                          "--verify", "--report", "r.json"}, dir));
  EXPECT_EQ(tool.Wait(kToolTimeout), 1) << tool.out() << tool.err();
  const std::string why = "That PORT is not available: " + dir.File("r3") +
                          ": it does not exist (is the cable or the USB adapter plugged in?). Nothing was sent "
                          "to the radio.";
  EXPECT_TRUE(Contains(tool.out(), " not-run): " + why + "\n")) << tool.out();
  EXPECT_EQ(CountOf(tool.err(), "not available"), 1) << tool.err();
  EXPECT_TRUE(Contains(tool.err(), "flash-update-cli: ./r3: link-not-opened: " + why + "\n")) << tool.err();
  auto report = nlohmann::json::parse(TempDir::Read(dir.File("r.json")));
  for (auto& radio : report) radio.erase("seconds");
  EXPECT_EQ(report, nlohmann::json::parse(R"x([
      {"link": "./r1", "model": 746, "linesSent": 131, "linesTotal": 131, "outcome": "success", "reason": "",
       "program": "success", "verify": "success", "exitStatus": 0},
      {"link": "./r2", "model": 746, "linesSent": 131, "linesTotal": 131, "outcome": "failed", "reason": "the radio)x"
      R"x( was written but does not hold the file: the radio's memory differs from the file in 1 line (the first is)x"
      R"x( line 11 of the file)", "program": "success", "verify": "failed", "exitStatus": 1},
      {"link": "./r3", "model": null, "linesSent": 0, "linesTotal": 131, "outcome": "link-not-opened", "reason": ")x" +
      why + R"(", "program": "link-not-opened", "verify": "not-run", "exitStatus": 5}])")) << report;
}

// The order the README gives: a stop signal, then 1, 2, 3, 5, 4, 6, 73; 0 only when all succeeded.
TEST(ToolRun, EndsAFleetWithTheWorstStatusOfItsRadios) {
  for (const auto& [statuses, worst] : std::vector<std::pair<std::vector<int>, int>>{
           {{0, 0}, 0}, {{0, 73}, 73}, {{73, 6}, 6}, {{6, 4}, 4}, {{0, 4, 0}, 4}, {{4, 5}, 5},
           {{5, 3}, 3}, {{3, 2}, 2}, {{2, 1, 0}, 1}, {{1, 143}, 143}}) {
    std::vector<FleetRadio> radios;
    for (const int status : statuses) radios.emplace_back().exitStatus = status;
    EXPECT_EQ(FleetExitStatus(radios), worst) << ::testing::PrintToString(statuses);
  }
}

}  // namespace
}  // namespace flash
