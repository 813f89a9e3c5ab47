#include "cli/radio_host.h"

#include <utility>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/personality_prompt.h"
#include "engine/dialog_texts.h"

namespace flash {
namespace {

bool IsFailureDialog(DialogId id) {
  return id == DialogId::CommFailure || id == DialogId::ProgramFailure ||
         id == DialogId::VerifyFailure;
}

bool ReachedTheEnd(OperationOutcome outcome) {
  return outcome == OperationOutcome::ProgramSucceeded ||
         outcome == OperationOutcome::VerifySucceeded ||
         outcome == OperationOutcome::CompletedUnchecked ||
         outcome == OperationOutcome::EndedWithoutDialog ||
         outcome == OperationOutcome::ProgramFailed || outcome == OperationOutcome::VerifyFailed;
}

// What the radio does once identified.
const char* Activity(OperationMode mode) {
  return mode == OperationMode::Verify ? "verifying"
         : mode == OperationMode::Test ? "testing"
                                       : "programming";
}

}  // namespace

RadioHost::RadioHost(ConsoleOutput& console, Clock& clock, StopSignals* stops,
                     RadioHostSetup setup)
    : console_(console),
      clock_(clock),
      stops_(stops),
      setup_(std::move(setup)),
      sequence_(setup_.mode) {
  radio_.link = setup_.link;
  radio_.linesTotal = setup_.linesTotal;
  radio_.state = "identifying";
  radio_.progress = "0 of " + std::to_string(setup_.linesTotal) + " lines";
}

void RadioHost::AppendOutput(std::string_view text) {
  if (whole()) console_.PaneText(text);
}

void RadioHost::SetStatusText(int pane, std::string_view text) {
  if (whole() && pane == 0 && text.empty()) console_.HideProgress();
}

// Every message box of an operation reports a fault.
void RadioHost::ShowMessage(std::string_view text, std::string_view) {
  if (whole()) console_.Error(text);
}

void RadioHost::ShowDialog(DialogId id) {
  if (!whole()) return;
  // A radio silent from the start meets this dialog at the identification wait and
  // again when the resends give up: one run, one failure line.
  if (id == DialogId::CommFailure && std::exchange(commFailureShown_, true)) return;
  console_.Result(DialogTextOf(id), IsFailureDialog(id));
}

void RadioHost::Finding(const OperationFinding& finding) {
  if (finding.kind == FindingKind::RadioIdentified) dspVersion_ = finding.dspVersion;
  if (finding.kind == FindingKind::TraceNotWritten) {
    // The trace's troubles that the operation survives are no reason of a result,
    // but they keep the radio's status from 0.
    traceNotWritten_ = true;
    if (!whole()) console_.Error(radio_.link + ": " + finding.text);
  }
  // What warns about the file or the trace, and why the update failed or was
  // cancelled, goes to standard error too; refusals are told by their message boxes.
  switch (finding.kind) {
    case FindingKind::FileWarning:
    case FindingKind::TraceNotWritten:
    case FindingKind::Failed:
    case FindingKind::PersonalityCancelled:
    case FindingKind::RequestNotSent:
    case FindingKind::PortGone:
      if (whole()) console_.AlsoAsError(finding.text);
      break;
    default:
      break;
  }
  // The first finding that says why becomes the reason of the radio's result.
  switch (finding.kind) {
    case FindingKind::Failed:
      if (radio_.reason.empty()) radio_.reason = finding.reason;
      return;
    case FindingKind::FileRefused:
    case FindingKind::VerifyRefused:
    case FindingKind::PortUnavailable:
    case FindingKind::UdpSocketFailed:
    case FindingKind::ModelMismatch:
    case FindingKind::UnlistedModel:
    case FindingKind::PersonalityCancelled:
    case FindingKind::RequestNotSent:
    case FindingKind::PortGone:
      if (radio_.reason.empty()) radio_.reason = finding.text;
      return;
    default:
      return;
  }
}

int RadioHost::ChoosePersonality() {
  if (setup_.personality) {
    if (whole()) {
      console_.Note(*setup_.personality > 0
                        ? "Extended memory: Radio Personality " +
                              std::to_string(*setup_.personality) + " (--personality)."
                        : std::string("Extended memory: the update is cancelled "
                                      "(--personality cancel)."));
    }
    return *setup_.personality;
  }
  if (!whole() || stops_ == nullptr) {
    radio_.reason =
        "The radio has extended memory and one terminal cannot be asked for several radios: "
        "the update is cancelled. Give --personality 1 to 6.";
    return kPersonalityCancel;
  }
  console_.HideProgress();
  const PersonalityPromptResult answer =
      AskPersonality(stops_->fd(), [this] { return stops_->Take(); });
  if (!answer.terminalFound) {
    console_.Error(
        "The radio has extended memory and there is no terminal to ask which personality to "
        "store the file in: the update is cancelled. Give --personality 1 to 6.");
  }
  promptStopSignal_ = answer.stopSignal;
  return answer.personality;
}

void RadioHost::StartTimer(int id, std::chrono::milliseconds period) {
  timers_.Start(id, period, std::chrono::steady_clock::now());
}

void RadioHost::RadioIdentified(std::int32_t modelCode) {
  identified_ = true;
  reportedModel_ = modelCode;
  if (modelCode != 0) radio_.model = modelCode;
  radio_.state = Activity(setup_.mode);
  changed_ = true;
}

void RadioHost::ReportProgress(int done, int total) {
  const auto now = std::chrono::steady_clock::now();
  if (whole()) console_.Progress(done, total, now);
  meter_.Note(done, total, now);
  radio_.linesSent = done;
  radio_.linesTotal = total;
  radio_.progress = meter_.Text();
  changed_ = true;
}

void RadioHost::EndUnstarted(OperationOutcome outcome, std::string reason) {
  if (radio_.reason.empty()) radio_.reason = std::move(reason);
  OperationEnded(outcome);
}

void RadioHost::OperationEnded(OperationOutcome outcome) {
  if (radio_.ended) return;
  if (whole()) console_.HideProgress();
  const bool firstOfTwo =
      sequence_.mode() == OperationMode::ProgramThenVerify && !sequence_.programOutcome();
  if (firstOfTwo) {
    programSeconds_ =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - setup_.start).count();
  }
  if (!sequence_.Take(outcome)) {
    // The Verify follows: the radio's line counts its lines anew.
    radio_.program = OutcomeWord(outcome, identified_);
    radio_.state = "verifying";
    meter_ = ProgressMeter();
    radio_.linesSent = 0;
    changed_ = true;
    return;
  }
  if (sequence_.mode() == OperationMode::ProgramThenVerify) {
    if (firstOfTwo) radio_.program = OutcomeWord(outcome, identified_);
    radio_.verify = firstOfTwo ? "not-run" : OutcomeWord(outcome, identified_);
  }
  if (whole() && outcome == OperationOutcome::UnlistedModel) {
    console_.Error("The radio reports model " + std::to_string(reportedModel_) +
                   ", which this program does not know: the radio refused the file and nothing "
                   "of it was sent.");
  }
  if (whole() && outcome == OperationOutcome::CompletedUnchecked) {
    console_.Error(UncheckedReason(answered_) + ".");
  }
  EndRun(outcome);
}

void RadioHost::EndRun(OperationOutcome outcome) {
  radio_.ended = true;
  changed_ = true;
  radio_.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - setup_.start).count();
  // With errors ignored a radio that never answered is no unchecked end: it is silent.
  const bool silent = outcome == OperationOutcome::CompletedUnchecked && !answered_;
  radio_.outcome = silent ? OutcomeWord(OperationOutcome::CommunicationFailed, true)
                          : OutcomeWord(outcome, identified_);
  radio_.state = radio_.outcome;
  // Lines are told as they are read, and only every tenth past the fiftieth: an
  // operation that reached its end handled them all.
  if (ReachedTheEnd(outcome)) {
    radio_.linesSent = radio_.linesTotal;
    meter_.Note(radio_.linesTotal, radio_.linesTotal, std::chrono::steady_clock::now());
    radio_.progress = meter_.Text();
  }
  radio_.exitStatus = outcome == OperationOutcome::Stopped ? kExitSignalBase + stopSignal_
                                                           : ExitStatusFor(outcome, answered_);
  if (radio_.exitStatus == kExitSuccess && traceNotWritten_) {
    // The radio's result stands (the log said why the trace is missing), but a run
    // that leaves an incomplete trace behind is no clean success.
    radio_.exitStatus = kExitOutputNotWritten;
    radio_.reason = "the radio's result stands, but its trace was not written in full";
  } else if (radio_.exitStatus == kExitSuccess) {
    radio_.reason.clear();
  } else if (outcome == OperationOutcome::Stopped) {
    radio_.reason = StopReason(stopSignal_, radio_.linesSent, radio_.linesTotal,
                               sequence_.verifying(), sequence_.programmed());
  } else if (outcome == OperationOutcome::CompletedUnchecked) {
    radio_.reason = UncheckedReason(answered_);
  } else if (outcome == OperationOutcome::CommunicationFailed && radio_.reason.empty()) {
    radio_.reason = identified_ ? "the radio stopped answering after " +
                                      std::to_string(radio_.linesSent) + " of " +
                                      std::to_string(radio_.linesTotal) + " lines"
                                : "the radio did not answer the identification request";
  }
}

}  // namespace flash
