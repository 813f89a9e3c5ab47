#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "cli/console_output.h"
#include "cli/fleet_report.h"
#include "cli/progress_meter.h"
#include "cli/timer_set.h"
#include "engine/engine_host.h"

namespace flash {

// One radio's surroundings in a run with several links: its own timers, its
// progress and its result, which the run shows on its line and in the summary.
// Its log is not printed (the lines of many radios would mix): the first finding
// that says why it failed becomes the reason of its result, and the trace's
// troubles go to standard error after its link.
class FleetHost final : public EngineHost {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // activity: what the radio does once identified ("programming" ...); start: the run's.
  FleetHost(ConsoleOutput& console, Clock& clock, std::string link, std::string rufFile, std::optional<int> personality,
            std::string activity, TimePoint start, int linesTotal);

  void BeginOutput() override {}
  void AppendOutput(std::string_view) override {}
  void SetStatusText(int, std::string_view) override {}
  std::optional<std::string> ChooseRufFile() override { return rufFile_; }
  void ShowMessage(std::string_view, std::string_view) override {}
  void ShowDialog(DialogId) override {}
  int ChoosePersonality() override;
  void Beep() override {}
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override { timers_.Stop(id); }
  void RadioIdentified(std::int32_t modelCode) override;
  void ReportProgress(int done, int total) override;
  void AnswerReceived() override { answered_ = true; }
  void Finding(const OperationFinding& finding) override;
  bool StopOnUnlistedModel() override { return true; }
  void OperationEnded(OperationOutcome outcome) override;

  std::int64_t CalendarSeconds() override { return clock_.CalendarSeconds(); }
  UtcTimeOfDay UtcNow() override { return clock_.UtcNow(); }

  // A Verify of the same file follows the Program when it succeeds; the radio's
  // result tells both.
  void ExpectVerifyAfterProgram() { verifyAsked_ = true; }
  // Ends the radio before its engine starts (an address that cannot be resolved).
  void EndUnstarted(OperationOutcome outcome, std::string reason);
  // A stop signal is about to stop the operation: says where it stood.
  void NoteStopSignal(int signalNumber);

  TimerSet& timers() { return timers_; }
  const FleetRadio& radio() const { return radio_; }
  bool ended() const { return radio_.ended; }
  // Changed since the last TakeChanged: its line is to be drawn again.
  bool TakeChanged() { return std::exchange(changed_, false); }

 private:
  ConsoleOutput& console_;
  Clock& clock_;
  std::string rufFile_;
  std::optional<int> personality_;
  std::string activity_;
  TimePoint start_;
  TimerSet timers_;
  ProgressMeter meter_;
  FleetRadio radio_;
  bool identified_ = false;
  bool verifyAsked_ = false;
  bool answered_ = false;  // the radio sent something during its operation
  bool traceNotWritten_ = false;
  bool changed_ = true;
  int stopSignal_ = 0;
};

}  // namespace flash
