#include "engine/serial_port_name.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"

namespace flash {

void UpdateEngine::OnSerialPortGone() {
  if (!settings_.serialActive || (!running_ && !verifyPending_)) return;
  const std::string port = SerialDeviceName(settings_.comPort);
  const bool verify = state_.mode == kModeVerify || (!running_ && verifyPending_);
  // Between a Program and its Verify nothing is sent: the Verify is not begun.
  const std::string text =
      running_ ? Format("The radio's port %s went away (cable pulled?) at line %d of %d; the %s "
                        "is not complete.",
                        port.c_str(), state_.linesProcessed, state_.totalLines,
                        verify ? "Verify" : "update")
               : Format("The radio's port %s went away (cable pulled?) after the Program; the "
                        "Verify was not run.",
                        port.c_str());
  host_.ReportProgress(state_.linesProcessed, state_.totalLines);
  trace_.TraceEvent("serial port", text);
  host_.AppendOutput(" " + text + "\r\n");
  host_.Finding({.kind = FindingKind::PortGone,
                 .text = text,
                 .line = rufFile_.IsOpen() ? rufFile_.lineNumber() : 0,
                 .count = state_.linesProcessed,
                 .total = state_.totalLines,
                 .port = port});
  if (running_) {
    EndEarly();
  } else {
    verifyPending_ = false;
    host_.StopTimer(kVerifyAfterProgramTimerId);
    if (trace_.IsOpen()) {
      trace_.Close();
      NoteTraceFailure();
    }
  }
  // Waiting out the silences would only end the same way, much later.
  ReportCommFailure();
  host_.OperationEnded(OperationOutcome::CommunicationFailed);
}

}  // namespace flash
