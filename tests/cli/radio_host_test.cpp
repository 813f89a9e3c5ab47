// One radio of a fleet: what its line, the summary and the report say at its end,
// and where the report may go.
#include "cli/radio_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <variant>

#include "link/system_clock.h"
#include "tests/cli/tool_output_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using O = OperationOutcome;
// The radio named its model; the engine told progress; a stop signal came; a finding.
struct Identified {};
struct Progress { int done; };
struct Signal { int number; };
using Event = std::variant<Identified, Progress, Signal, OperationFinding, OperationOutcome>;

OperationFinding Failed(const char* reason) {
  return {.kind = FindingKind::Failed, .text = "(the pane's words)", .reason = reason};
}

TEST(RadioHost, EndsEachRadioWithItsOutcomeReasonAndStatusAndAVerifyAfterProgramWithBoth) {
  const struct {
    bool verify;
    std::vector<Event> events;
    const char* expected;  // outcome (program/verify) exit-status lines-sent: reason
  } runs[] = {
      {false, {Identified{}, Progress{131}, O::ProgramSucceeded}, "success 0 131: "},
      {false, {Identified{}, Progress{20}, O::CommunicationFailed},
       "no-answer 2 20: the radio stopped answering after 20 of 131 lines"},
      {false, {O::CommunicationFailed}, "no-identification 2 0: the radio did not answer the identification request"},
      {false, {Identified{}, Progress{9},
               OperationFinding{.kind = FindingKind::RequestNotSent, .text = "Not sent: EIO."},
               O::CommunicationFailed},
       "no-answer 2 9: Not sent: EIO."},
      {false, {Identified{}, Progress{40}, Signal{2}, O::Stopped},
       "stopped 130 40: mid-flash by signal 2, after 40 of 131 lines; the radio may need a new update"},
      {false, {Signal{15}, O::Stopped}, "stopped 143 0: by signal 15 before any line of the file was sent"},
      {false, {Identified{}, Failed("the radio did not echo 3 lines correctly"), O::ProgramFailed},
       "failed 1 131: the radio did not echo 3 lines correctly"},
      {false, {OperationFinding{.kind = FindingKind::TraceNotWritten, .text = "not a reason"},
               OperationFinding{.kind = FindingKind::PortUnavailable, .text = "That PORT is gone."},
               Failed("not the first"), O::LinkNotOpened},
       "link-not-opened 5 0: That PORT is gone."},
      {true, {Identified{}, Progress{131}, O::ProgramSucceeded, Progress{131}, O::VerifySucceeded},
       "success (success/success) 0 131: "},
      {true, {Identified{}, O::ProgramSucceeded,
              Failed("the radio was written but does not hold the file"), O::VerifyFailed},
       "failed (success/failed) 1 131: the radio was written but does not hold the file"},
      {true, {Identified{}, O::ProgramFailed}, "failed (failed/not-run) 1 131: "},
      {true, {Identified{}, O::ProgramSucceeded, Progress{7}, Signal{2}, O::Stopped},
       "stopped (success/stopped) 130 7: during the Verify by signal 2: the radio was programmed, its "
       "memory is not verified"},
  };
  for (const auto& run : runs) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK), 0);
    ConsoleOutput console(fds[1], fds[1], false);
    SystemClock clock;
    RadioHost host(console, clock, nullptr,
                   {.link = "./radio-1",
                    .rufFile = "746.ruf",
                    .personality = std::nullopt,
                    .mode = run.verify ? OperationMode::ProgramThenVerify : OperationMode::Program,
                    .presentation = RadioPresentation::Line,
                    .start = std::chrono::steady_clock::now(),
                    .linesTotal = 131});
    for (const Event& event : run.events) {
      if (std::holds_alternative<Identified>(event)) host.RadioIdentified(746);
      if (const auto* p = std::get_if<Progress>(&event)) host.ReportProgress(p->done, 131);
      if (const auto* s = std::get_if<Signal>(&event)) host.NoteStopSignal(s->number);
      if (const auto* f = std::get_if<OperationFinding>(&event)) host.Finding(*f);
      if (const auto* o = std::get_if<OperationOutcome>(&event)) host.OperationEnded(*o);
    }
    // The trace's troubles are no reason: they go to standard error after the link.
    const bool traceTrouble = std::ranges::any_of(run.events, [](const Event& e) {
      const auto* f = std::get_if<OperationFinding>(&e);
      return f != nullptr && f->kind == FindingKind::TraceNotWritten;
    });
    console.Flush();
    std::string err(4096, '\0');
    err.resize(static_cast<std::size_t>(std::max<ssize_t>(::read(fds[0], err.data(), err.size()), 0)));
    EXPECT_EQ(err.find(": ./radio-1: not a reason\n") != std::string::npos, traceTrouble) << err;
    const FleetRadio& r = host.radio();
    EXPECT_TRUE(host.ended());
    const std::string both = r.verify.empty() ? "" : " (" + r.program + "/" + r.verify + ")";
    EXPECT_EQ(r.outcome + both + " " + std::to_string(r.exitStatus) + " " + std::to_string(r.linesSent) + ": " + r.reason, run.expected);
    ::close(fds[0]);
    ::close(fds[1]);
  }
}

}  // namespace
}  // namespace flash

namespace flash {
namespace {

// Line-station software reads the report: a reason with quotes, a backslash or a control
// character, and a device name that is not UTF-8, stay one JSON string each.
TEST(FleetReport, KeepsEachReasonOneJsonString) {
  FleetRadio radio;
  radio.link = "./radio-\xff";
  radio.linesTotal = 131;
  radio.outcome = "link-not-opened";
  radio.reason = "needs a group such as \"dialout\", C:\\COM1\tor root";
  radio.exitStatus = 5;
  radio.seconds = 12.345;
  const std::string report = ReportJson({radio, radio});
  EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 4) << "one object per line: " << report;
  // Objects of ordered_json compare in key order.
  EXPECT_EQ(nlohmann::ordered_json::parse(report)[1], nlohmann::ordered_json::parse(R"({"link": "./radio-\ufffd", "model": null,
      "linesSent": 0, "linesTotal": 131, "seconds": 12.3, "outcome": "link-not-opened",
      "reason": "needs a group such as \"dialout\", C:\\COM1\tor root", "exitStatus": 5})")) << report;
}

}  // namespace
}  // namespace flash

namespace flash {
namespace {

using test::Contains;

// What stands at path: its kind and device number, and a regular file's content.
std::string Snapshot(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  std::string kind = std::to_string(info.st_mode & S_IFMT) + ":" + std::to_string(info.st_rdev);
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) kind += ":" + test::TempDir::Read(path);
  return kind;
}

// The whole tool: a report or a trace over what the run reads is refused before any
// link opens; a pipe or a node is written into and kept; a report the disk refuses
// fails a run whose radio succeeded, its result still printed.
TEST(FleetReport, GoesOnlyWhereTheRuleLetsAndARunWithoutItsReportFails) {
  const test::TempDir dir;
  const std::string ruf = dir.Write("746-demo.ruf", test::TempDir::Read(test::kDemoFile));
  ::symlink(ruf.c_str(), dir.File("to-ruf").c_str());
  dir.Write("update.ini", "[SERIAL INTERFACE]\nCOMPORT=COM3\n");
  ::mkfifo(dir.File("pipe").c_str(), 0644);
  const bool node =
      ::geteuid() == 0 && ::mknod(dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
  const struct {
    std::vector<std::string> options;
    int status;
    std::string err;
  } runs[] = {
      {{"--report", "update.ini"}, 64,
       "--report update.ini: it is the settings file (" + dir.File("update.ini")},
      {{"--trace", "update.ini"}, 64, "--trace update.ini: it is the settings file ("},
      {{"--report", "to-ruf"}, 64, "--report to-ruf: it is the RUF file of this run (746-demo.ruf)"},
      {{"--report", "pipe", "--trace-dir", "a/b/c"}, 5,
       "the report pipe was not written: it is a pipe that nobody reads\n"},
      {{"--report", "null"}, 5, ": link-not-opened: That PORT is not available"},
      // A radio that succeeds, and a disk that takes nothing more (a file size limit of 0).
      {{"--report", "r.json", "--trace", "t.txt"}, 73, "the report r.json was not written: File too large\n"},
  };
  for (const auto& run : runs) {
    const std::string what = run.options[0] + " " + run.options[1];
    if (run.options[1] == "null" && !node) continue;
    const std::string place = dir.File(run.options[1]);
    const std::string before = Snapshot(place);
    const bool full = run.options[1] == "r.json";
    std::optional<test::RadioSim> radio;
    if (full) {
      radio.emplace(RADIO_SIM_PATH, std::vector<std::string>{"--model", "746", "--link", "./radio"},
                    dir.path());
    }
    test::ChildOptions options;
    const std::string limit = full ? "trap '' XFSZ; ulimit -f 0; " : "";
    options.argv = {"/bin/sh", "-c", limit + "exec \"$0\" \"$@\"", FLASH_UPDATE_CLI_PATH, "program",
                    "746-demo.ruf", "--serial", full ? "./radio" : "./no-such-tty"};
    options.argv.insert(options.argv.end(), run.options.begin(), run.options.end());
    options.workingDirectory = dir.path();
    test::ChildProcess tool(options);
    EXPECT_EQ(tool.Wait(std::chrono::seconds{30}), run.status) << what << tool.out() << tool.err();
    EXPECT_TRUE(Contains(tool.err(), run.err)) << what << tool.err();
    EXPECT_EQ(Snapshot(place), before) << what;
    EXPECT_TRUE(run.options[1] != "null" || !Contains(tool.err(), "the report")) << tool.err();
    if (full) {
      EXPECT_TRUE(Contains(tool.out(), "exit status 73.")) << tool.out();
      // One radio's trace goes where --trace says, also in a run with a report.
      EXPECT_TRUE(std::filesystem::exists(dir.File("t.txt")) &&
                  !std::filesystem::exists(dir.File("comms-radio.txt")));
    }
  }
  EXPECT_EQ(test::TempDir::Read(ruf), test::TempDir::Read(test::kDemoFile));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a/b/c"))) << "made with its parents";
}

}  // namespace
}  // namespace flash
