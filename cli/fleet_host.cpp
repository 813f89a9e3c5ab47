#include "cli/fleet_host.h"

#include <utility>

#include "cli/exit_status.h"

namespace flash {
namespace {

// The log's lines that say why a radio's operation did not succeed. A port that
// cannot be opened is told by its message box, which names the port and adds that
// nothing was sent.
bool SaysWhyItFailed(std::string_view text) {
  constexpr std::string_view kOpenings[] = {
      " The update failed: ", " The file is for model ", " The radio reports model ",
      " The update was cancelled", " The trace file "};
  for (const std::string_view opening : kOpenings) {
    if (text.starts_with(opening)) return true;
  }
  return false;
}

bool ReachedTheEnd(OperationOutcome outcome) {
  return outcome == OperationOutcome::ProgramSucceeded ||
         outcome == OperationOutcome::VerifySucceeded ||
         outcome == OperationOutcome::CompletedUnchecked ||
         outcome == OperationOutcome::EndedWithoutDialog ||
         outcome == OperationOutcome::ProgramFailed || outcome == OperationOutcome::VerifyFailed;
}

// One line without the log's leading blank and line end.
std::string OneLine(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  return std::string(text);
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

void FleetHost::AppendOutput(std::string_view text) {
  // The trace's troubles that the operation survives are no reason of a result.
  const bool survived = text.find("; the operation goes on without") != std::string_view::npos;
  if (survived || text.starts_with(" Note: ")) {
    console_.Error(radio_.link + ": " + OneLine(text));
  }
  if (radio_.reason.empty() && SaysWhyItFailed(text) && !survived) {
    radio_.reason = OneLine(text);
    constexpr std::string_view kFailed = "The update failed: ";
    if (radio_.reason.starts_with(kFailed)) radio_.reason.erase(0, kFailed.size());
  }
}

void FleetHost::ShowMessage(std::string_view text, std::string_view) {
  if (messageReason_.empty()) messageReason_ = OneLine(text);
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
  messageReason_ = std::move(reason);
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
  } else if (outcome == OperationOutcome::CommunicationFailed) {
    radio_.reason = identified_ ? "the radio stopped answering after " +
                                      std::to_string(radio_.linesSent) + " of " +
                                      std::to_string(radio_.linesTotal) + " lines"
                                : "the radio did not answer the identification request";
  } else if (radio_.reason.empty()) {
    radio_.reason = messageReason_;
  }
}

}  // namespace flash
