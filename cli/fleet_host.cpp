#include "cli/fleet_host.h"

#include <utility>

#include "cli/exit_status.h"

namespace flash {
namespace {

bool ReachedTheEnd(OperationOutcome outcome) {
  return outcome == OperationOutcome::ProgramSucceeded ||
         outcome == OperationOutcome::VerifySucceeded ||
         outcome == OperationOutcome::CompletedUnchecked ||
         outcome == OperationOutcome::EndedWithoutDialog ||
         outcome == OperationOutcome::ProgramFailed || outcome == OperationOutcome::VerifyFailed;
}

}  // namespace

FleetHost::FleetHost(ConsoleOutput& console, Clock& clock, std::string link, std::string rufFile,
                     std::optional<int> personality, std::string activity, TimePoint start,
                     int linesTotal)
    : console_(console),
      clock_(clock),
      rufFile_(std::move(rufFile)),
      personality_(personality),
      activity_(std::move(activity)),
      start_(start) {
  radio_.link = std::move(link);
  radio_.linesTotal = linesTotal;
  radio_.state = "identifying";
  radio_.progress = "0 of " + std::to_string(linesTotal) + " lines";
}

void FleetHost::Finding(const OperationFinding& finding) {
  switch (finding.kind) {
    case FindingKind::TraceNotWritten:
      // The trace's troubles that the operation survives are no reason of a result,
      // but they keep the radio's status from 0.
      traceNotWritten_ = true;
      console_.Error(radio_.link + ": " + finding.text);
      return;
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
      if (radio_.reason.empty()) radio_.reason = finding.text;
      return;
    default:
      return;
  }
}

int FleetHost::ChoosePersonality() {
  if (personality_) return *personality_;
  radio_.reason =
      "The radio has extended memory and one terminal cannot be asked for several radios: "
      "the update is cancelled. Give --personality 1 to 6.";
  return -1;
}

void FleetHost::StartTimer(int id, std::chrono::milliseconds period) {
  timers_.Start(id, period, std::chrono::steady_clock::now());
}

void FleetHost::RadioIdentified(std::int32_t modelCode) {
  identified_ = true;
  if (modelCode != 0) radio_.model = modelCode;
  radio_.state = activity_;
  changed_ = true;
}

void FleetHost::ReportProgress(int done, int total) {
  meter_.Note(done, total, std::chrono::steady_clock::now());
  radio_.linesSent = done;
  radio_.linesTotal = total;
  radio_.progress = meter_.Text();
  changed_ = true;
}

void FleetHost::NoteStopSignal(int signalNumber) { stopSignal_ = signalNumber; }

void FleetHost::EndUnstarted(OperationOutcome outcome, std::string reason) {
  if (radio_.reason.empty()) radio_.reason = std::move(reason);
  OperationEnded(outcome);
}

void FleetHost::OperationEnded(OperationOutcome outcome) {
  if (radio_.ended) return;
  if (verifyAsked_ && radio_.program.empty()) {
    radio_.program = OutcomeWord(outcome, identified_);
    if (outcome == OperationOutcome::ProgramSucceeded) {
      // The Verify follows: the radio's line counts its lines anew.
      radio_.state = "verifying";
      meter_ = ProgressMeter();
      radio_.linesSent = 0;
      changed_ = true;
      return;
    }
    radio_.verify = "not-run";
  } else if (verifyAsked_) {
    radio_.verify = OutcomeWord(outcome, identified_);
  }
  radio_.ended = true;
  changed_ = true;
  radio_.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
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
    radio_.exitStatus = kExitOutputNotWritten;
    radio_.reason = "the radio's result stands, but its trace was not written in full";
  } else if (radio_.exitStatus == kExitSuccess) {
    radio_.reason.clear();
  } else if (outcome == OperationOutcome::Stopped) {
    const bool programmed = radio_.program == "success";
    radio_.reason = StopReason(stopSignal_, radio_.linesSent, radio_.linesTotal,
                               programmed || activity_ == "verifying", programmed);
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
