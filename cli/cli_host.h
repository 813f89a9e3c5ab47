#pragma once

#include <optional>
#include <string>

#include "cli/console_output.h"
#include "cli/timer_set.h"
#include "engine/engine_host.h"
#include "engine/operation_state.h"
#include "link/stop_signals.h"

namespace flash {

// The engine's surroundings in the headless tool: the output pane and the
// result go to standard output, message boxes (faults) to standard error, and so
// do the findings that warn or say why, and a failed result,
// timers run on the steady clock, and nothing ever waits for a click.
class CliHost final : public EngineHost {
 public:
  // personality: the answer given on the command line (1..6 or -1), if any.
  CliHost(ConsoleOutput& console, Clock& clock, TimerSet& timers, StopSignals& stops,
          std::string rufFile, std::optional<int> personality);

  void BeginOutput() override {}
  void AppendOutput(std::string_view text) override;
  void SetStatusText(int pane, std::string_view text) override;
  std::optional<std::string> ChooseRufFile() override { return rufFile_; }
  void ShowMessage(std::string_view text, std::string_view caption) override;
  void ShowDialog(DialogId id) override;
  int ChoosePersonality() override;
  void Beep() override {}
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override;
  // A script must hear at once that its port is missing, not after 40 s of silence.
  void RadioIdentified(std::int32_t modelCode) override { radioModelCode_ = modelCode; }
  void ReportProgress(int done, int total) override;
  void AnswerReceived() override { answered_ = true; }
  void Finding(const OperationFinding& finding) override;
  // An unlisted model would otherwise be met by 40 s of resends before the failure.
  bool StopOnUnlistedModel() override { return true; }
  void OperationEnded(OperationOutcome outcome) override;

  std::int64_t CalendarSeconds() override { return clock_.CalendarSeconds(); }
  UtcTimeOfDay UtcNow() override { return clock_.UtcNow(); }

  // The operation is a Program with a Verify after it when it succeeds: the run ends
  // with the Verify's outcome.
  void ExpectVerifyAfterProgram() { verifyFollowsSuccess_ = true; }
  bool ended() const { return outcome_.has_value(); }
  OperationOutcome outcome() const { return outcome_.value_or(OperationOutcome::Stopped); }
  // The run's exit status once it has ended.
  int exitStatus() const;
  // Why a stop signal ended the run, and how far the file got (verifying: a Verify ran).
  std::string StopReason(int signalNumber, bool verifying) const;
  // A stop signal that arrived while the personality was being asked for.
  int stopSignal() const { return stopSignal_; }

 private:
  ConsoleOutput& console_;
  Clock& clock_;
  TimerSet& timers_;
  StopSignals& stops_;
  std::string rufFile_;
  std::optional<int> personality_;
  std::int32_t radioModelCode_ = 0;
  std::optional<OperationOutcome> outcome_;
  bool verifyFollowsSuccess_ = false;
  bool programmed_ = false;  // the Program succeeded, its Verify runs
  bool answered_ = false;    // the radio sent something during the run
  bool traceNotWritten_ = false;
  bool commFailureShown_ = false;
  int linesSent_ = 0;
  int linesTotal_ = 0;
  int stopSignal_ = 0;
};

}  // namespace flash
