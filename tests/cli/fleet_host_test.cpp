// One radio of a fleet: what its line, the summary and the report say at its end.
#include "cli/fleet_host.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <variant>

#include "link/system_clock.h"
#include "tests/cli/tool_output_checks.h"

namespace flash {
namespace {

using O = OperationOutcome;
// The radio named its model; the engine told progress; a stop signal came; a log line.
struct Identified {};
struct Progress { int done; };
struct Signal { int number; };
struct Log { const char* text; };
using Event = std::variant<Identified, Progress, Signal, Log, OperationOutcome>;

TEST(FleetHost, EndsEachRadioWithItsOutcomeReasonAndStatusAndAVerifyAfterProgramWithBoth) {
  const struct {
    bool verify;
    std::vector<Event> events;
    const char* expected;  // outcome (program/verify) exit-status lines-sent: reason
  } runs[] = {
      {false, {Identified{}, Progress{131}, O::ProgramSucceeded}, "success 0 131: "},
      {false, {Identified{}, Progress{20}, O::CommunicationFailed},
       "no-answer 2 20: the radio stopped answering after 20 of 131 lines"},
      {false, {O::CommunicationFailed}, "no-identification 2 0: the radio did not answer the identification request"},
      {false, {Identified{}, Progress{40}, Signal{2}, O::Stopped},
       "stopped 130 40: mid-flash by signal 2, after 40 of 131 lines; the radio may need a new update"},
      {false, {Signal{15}, O::Stopped}, "stopped 143 0: by signal 15 before any line of the file was sent"},
      {false, {Identified{}, Log{" The update failed: the radio did not echo 3 lines correctly\r\n"},
               O::ProgramFailed}, "failed 1 131: the radio did not echo 3 lines correctly"},
      {true, {Identified{}, Progress{131}, O::ProgramSucceeded, Progress{131}, O::VerifySucceeded},
       "success (success/success) 0 131: "},
      {true, {Identified{}, O::ProgramSucceeded, Log{" The update failed: the radio was written but "
                                                    "does not hold the file\r\n"}, O::VerifyFailed},
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
    FleetHost host(console, clock, "./radio-1", "746.ruf", std::nullopt, "programming",
                   std::chrono::steady_clock::now(), 131);
    if (run.verify) host.ExpectVerifyAfterProgram();
    for (const Event& event : run.events) {
      if (std::holds_alternative<Identified>(event)) host.RadioIdentified(746);
      if (const auto* p = std::get_if<Progress>(&event)) host.ReportProgress(p->done, 131);
      if (const auto* s = std::get_if<Signal>(&event)) host.NoteStopSignal(s->number);
      if (const auto* l = std::get_if<Log>(&event)) host.AppendOutput(l->text);
      if (const auto* o = std::get_if<OperationOutcome>(&event)) host.OperationEnded(*o);
    }
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
// character stays one JSON string.
TEST(FleetReport, KeepsEachReasonOneJsonString) {
  FleetRadio radio;
  radio.link = "./radio-1";
  radio.linesTotal = 131;
  radio.outcome = "link-not-opened";
  radio.reason = "needs a group such as \"dialout\", C:\\COM1\tor root";
  radio.exitStatus = 5;
  EXPECT_EQ(ReportJson({radio}),
            "[\n  {\"link\": \"./radio-1\", \"model\": null, \"linesSent\": 0, \"linesTotal\": 131, "
            "\"seconds\": 0.0, \"outcome\": \"link-not-opened\", \"reason\": \"needs a group such as "
            "\\\"dialout\\\", C:\\\\COM1\\u0009or root\", \"exitStatus\": 5}\n]\n");
}

}  // namespace
}  // namespace flash
