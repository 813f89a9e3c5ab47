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
#include "engine/run_sequence.h"
#include "link/stop_signals.h"

namespace flash {

// How a radio's run is shown. A run of one radio shows it whole: the output pane
// and the result go to standard output, message boxes (faults) to standard error,
// and so do the findings that warn or say why, and a failed result; a progress bar
// follows the lines; the personality may be asked on the terminal. In a run of
// several radios each radio has one line, and its reason and result go to the
// summary (the lines of many logs would mix).
enum class RadioPresentation { Whole, Line };

// What a radio's host knows before its operation starts.
struct RadioHostSetup {
  std::string link;     // as a person reads it: the device, or HOST:PORT
  std::string rufFile;  // the file chooser's answer
  std::optional<int> personality;  // the answer given on the command line (1..6 or -1)
  OperationMode mode = OperationMode::Program;
  RadioPresentation presentation = RadioPresentation::Whole;
  std::chrono::steady_clock::time_point start;  // the run's
  int linesTotal = 0;  // the file's data lines, shown before the engine counts them
};

// One radio's surroundings in the headless tool: its timers on the steady clock,
// nothing that ever waits for a click, and the radio's result as the summary, the
// report and the exit status tell it.
class RadioHost final : public EngineHost {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  // stops: asked for a signal while the personality question waits on the terminal
  // (a run shown whole); without them the question is not asked.
  RadioHost(ConsoleOutput& console, Clock& clock, StopSignals* stops, RadioHostSetup setup);

  void BeginOutput() override {}
  void AppendOutput(std::string_view text) override;
  void SetStatusText(int pane, std::string_view text) override;
  std::optional<std::string> ChooseRufFile() override { return setup_.rufFile; }
  void ShowMessage(std::string_view text, std::string_view caption) override;
  void ShowDialog(DialogId id) override;
  int ChoosePersonality() override;
  void Beep() override {}
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override { timers_.Stop(id); }
  void RadioIdentified(std::int32_t modelCode) override;
  void ReportProgress(int done, int total) override;
  void AnswerReceived() override { answered_ = true; }
  void Finding(const OperationFinding& finding) override;
  // A script must hear at once that the radio is of no known model, not after 40 s
  // of resends.
  bool StopOnUnlistedModel() override { return true; }
  void OperationEnded(OperationOutcome outcome) override;

  std::int64_t CalendarSeconds() override { return clock_.CalendarSeconds(); }
  UtcTimeOfDay UtcNow() override { return clock_.UtcNow(); }

  // Ends the radio before its engine starts, or one whose engine stopped without a result.
  void EndUnstarted(OperationOutcome outcome, std::string reason);
  // A stop signal is about to stop the operation: says where it stood.
  void NoteStopSignal(int signalNumber) { stopSignal_ = signalNumber; }
  // A stop signal that arrived while the personality was being asked for.
  int promptStopSignal() const { return promptStopSignal_; }

  TimerSet& timers() { return timers_; }
  const TimerSet& timers() const { return timers_; }
  // Its line, its result and, once ended, its exit status.
  const FleetRadio& radio() const { return radio_; }
  bool ended() const { return radio_.ended; }
  // The run's outcome once ended: the Verify's after a Program that succeeded.
  std::optional<OperationOutcome> outcome() const { return sequence_.outcome(); }
  // The DSP version the radio reported, in thousandths.
  std::optional<std::int32_t> dspVersion() const { return dspVersion_; }
  // The trace is missing or incomplete.
  bool traceNotWritten() const { return traceNotWritten_; }
  // Program then Verify: the seconds from the run's start to the Program's end.
  double programSeconds() const { return programSeconds_; }
  // Changed since the last TakeChanged: its line is to be drawn again.
  bool TakeChanged() { return std::exchange(changed_, false); }

 private:
  bool whole() const { return setup_.presentation == RadioPresentation::Whole; }
  void EndRun(OperationOutcome outcome);

  ConsoleOutput& console_;
  Clock& clock_;
  StopSignals* stops_;
  RadioHostSetup setup_;
  TimerSet timers_;
  ProgressMeter meter_;
  RunSequence sequence_;
  FleetRadio radio_;
  std::int32_t reportedModel_ = 0;  // as the radio named it, also an unknown one
  std::optional<std::int32_t> dspVersion_;
  double programSeconds_ = 0.0;
  bool identified_ = false;
  bool answered_ = false;  // the radio sent something during the run
  bool traceNotWritten_ = false;
  bool commFailureShown_ = false;
  bool changed_ = true;
  int stopSignal_ = 0;
  int promptStopSignal_ = 0;
};

}  // namespace flash
