#include "engine/dialog_texts.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"

namespace flash {
namespace {

constexpr std::int32_t kCheckedResponseTimeoutMs = 5000;
// Silences of one line that are answered with a resend; the next one ends the operation.
constexpr std::int8_t kMaxSilentResends = 7;

}  // namespace

void UpdateEngine::StartResponseTimer() {
  if (state_.ignoreErrors == 0) state_.responseTimeoutMs = kCheckedResponseTimeoutMs;
  host_.StopTimer(kResponseTimerId);
  host_.StartTimer(kResponseTimerId, std::chrono::milliseconds{state_.responseTimeoutMs});
}

void UpdateEngine::StopResponseTimer() { host_.StopTimer(kResponseTimerId); }

void UpdateEngine::OnTimer(int id) {
  if (id == kVerifyAfterProgramTimerId) {
    host_.StopTimer(id);
    if (verifyPending_ && !running_) BeginVerifyAfterProgram();
    return;
  }
  if (!running_) {
    host_.StopTimer(id);
    return;
  }
  if (id == kResponseTimerId) {
    StopResponseTimer();
    if (state_.ignoreErrors == 1) {
      stepOperation();
      return;
    }
    if (state_.noResponseCount >= kMaxSilentResends) {
      // Said in the log as an echo failure is, with the line that went unanswered
      // (known only while the file is open).
      const std::string reason = SilenceReason();
      const int line = SilentLine();
      EndEarly();
      host_.AppendOutput(" The update failed: " + reason + "\r\n");
      ReportCommFailure();
      host_.Finding({.kind = FindingKind::CommunicationFailed,
                     .text = std::string(DialogTextOf(DialogId::CommFailure)),
                     .reason = reason,
                     .line = line,
                     .count = state_.linesProcessed,
                     .total = state_.totalLines});
      host_.OperationEnded(OperationOutcome::CommunicationFailed);
      return;
    }
    state_.noResponseCount = static_cast<std::int8_t>(state_.noResponseCount + 1);
    state_.resendRequested = true;
    host_.SilentResend(SilentLine(), state_.noResponseCount, kMaxSilentResends);
    stepOperation();
    return;
  }
  if (id == kIdentificationTimerId) {
    host_.StopTimer(kIdentificationTimerId);
    // With errors ignored the operation goes on to its end and says so there; a
    // dialog now would only interrupt it.
    if (state_.ignoreErrors != 1) {
      // No resend is counted while the dialog waits for the user.
      StopResponseTimer();
      ReportCommFailure();
      // The dialog is modal: the operation may have ended while it was open.
      if (!running_) return;
    }
    serial_.Purge();
    state_.noResponseCount = static_cast<std::int8_t>(state_.noResponseCount + 1);
    state_.resendRequested = true;
    host_.SilentResend(SilentLine(), state_.noResponseCount, kMaxSilentResends);
    stepOperation();
    return;
  }
  host_.StopTimer(id);
}

int UpdateEngine::SilentLine() const {
  return lineReadThisOperation_ ? rufFile_.lineNumber() : 0;
}

std::string UpdateEngine::SilenceReason() const {
  const int sendings = kMaxSilentResends + 1;
  const int line = SilentLine();
  if (line == 0) {
    return Format("the radio did not answer the requests before the file's first line (%d "
                  "sendings)",
                  sendings);
  }
  return Format("the radio did not answer line %d of the file (%d sendings)", line, sendings);
}

void UpdateEngine::ReportCommFailure() {
  host_.SetStatusText(0, "");
  host_.Beep();
  host_.ShowDialog(DialogId::CommFailure);
  host_.SetStatusText(0, "");
}

}  // namespace flash
