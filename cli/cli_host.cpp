#include "cli/cli_host.h"

#include <utility>

#include "cli/exit_status.h"
#include "cli/personality_prompt.h"
#include "engine/dialog_texts.h"

namespace flash {
namespace {

bool IsFailure(DialogId id) {
  return id == DialogId::CommFailure || id == DialogId::ProgramFailure ||
         id == DialogId::VerifyFailure;
}

}  // namespace

CliHost::CliHost(ConsoleOutput& console, Clock& clock, TimerSet& timers, StopSignals& stops,
                 std::string rufFile, std::optional<int> personality)
    : console_(console),
      clock_(clock),
      timers_(timers),
      stops_(stops),
      rufFile_(std::move(rufFile)),
      personality_(personality) {}

void CliHost::AppendOutput(std::string_view text) { console_.PaneText(text); }

void CliHost::Finding(const OperationFinding& finding) {
  // What warns about the file or the trace, and why the update failed or was
  // cancelled, goes to standard error too; refusals are told by their message boxes.
  if (finding.kind == FindingKind::TraceNotWritten) traceNotWritten_ = true;
  switch (finding.kind) {
    case FindingKind::FileWarning:
    case FindingKind::TraceNotWritten:
    case FindingKind::Failed:
    case FindingKind::PersonalityCancelled:
    case FindingKind::RequestNotSent:
      console_.AlsoAsError(finding.text);
      break;
    default:
      break;
  }
}

void CliHost::SetStatusText(int pane, std::string_view text) {
  if (pane == 0 && text.empty()) console_.HideProgress();
}

void CliHost::ReportProgress(int done, int total) {
  linesSent_ = done;
  linesTotal_ = total;
  console_.Progress(done, total, std::chrono::steady_clock::now());
}

// Every message box of an operation reports a fault.
void CliHost::ShowMessage(std::string_view text, std::string_view) { console_.Error(text); }

void CliHost::ShowDialog(DialogId id) {
  // A radio silent from the start meets this dialog at the identification wait and
  // again when the resends give up: one run, one failure line.
  if (id == DialogId::CommFailure && std::exchange(commFailureShown_, true)) return;
  console_.Result(DialogTextOf(id), IsFailure(id));
}

int CliHost::ChoosePersonality() {
  if (personality_) {
    console_.Note(
        *personality_ > 0
            ? "Extended memory: Radio Personality " + std::to_string(*personality_) +
                  " (--personality)."
            : std::string("Extended memory: the update is cancelled (--personality cancel)."));
    return *personality_;
  }
  console_.HideProgress();
  const PersonalityPromptResult answer =
      AskPersonality(stops_.fd(), [this] { return stops_.Take(); });
  if (!answer.terminalFound) {
    console_.Error(
        "The radio has extended memory and there is no terminal to ask which personality to "
        "store the file in: the update is cancelled. Give --personality 1 to 6.");
  }
  stopSignal_ = answer.stopSignal;
  return answer.personality;
}

void CliHost::StartTimer(int id, std::chrono::milliseconds period) {
  timers_.Start(id, period, std::chrono::steady_clock::now());
}

void CliHost::StopTimer(int id) { timers_.Stop(id); }

void CliHost::OperationEnded(OperationOutcome outcome) {
  console_.HideProgress();
  if (outcome == OperationOutcome::UnlistedModel) {
    console_.Error("The radio reports model " + std::to_string(radioModelCode_) +
                   ", which this program does not know: the radio refused the file and nothing "
                   "of it was sent.");
  }
  if (outcome == OperationOutcome::CompletedUnchecked) {
    console_.Error(UncheckedReason(answered_) + ".");
  }
  if (outcome == OperationOutcome::ProgramSucceeded && std::exchange(verifyFollowsSuccess_, false)) {
    programmed_ = true;
    return;
  }
  if (!outcome_) outcome_ = outcome;
}

int CliHost::exitStatus() const {
  const int status = ExitStatusFor(outcome(), answered_);
  // The radio's result stands (the log said why the trace is missing), but a run
  // that leaves an incomplete trace behind is no clean success.
  return status == kExitSuccess && traceNotWritten_ ? kExitOutputNotWritten : status;
}

std::string CliHost::StopReason(int signalNumber, bool verifying) const {
  return flash::StopReason(signalNumber, linesSent_, linesTotal_, verifying || programmed_,
                           programmed_);
}

}  // namespace flash
