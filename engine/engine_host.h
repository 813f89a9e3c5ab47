#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/clock.h"
#include "engine/operation_findings.h"

namespace flash {

// Dialog templates the engine asks the host to show.
enum class DialogId : int {
  CommFailure = 113,        // "Error Encountered"
  ProgramSuccess = 117,     // "Flash Update"
  VerifySuccess = 118,      // "Flash Verification"
  ProcessingComplete = 120,  // "Flash Loader": error checking was off
  VerifyFailure = 121,
  ProgramFailure = 122,
};

// How an operation ended, for hosts that act on it (menu enabling, exit codes).
enum class OperationOutcome {
  ProgramSucceeded,      // dialog 117
  VerifySucceeded,       // dialog 118
  CompletedUnchecked,    // dialog 120
  VerifyFailed,          // dialog 121
  ProgramFailed,         // dialog 122
  EndedWithoutDialog,    // Test mode
  CommunicationFailed,   // dialog 113 at the retry limit
  ModelMismatch,         // the file is for another model
  PersonalityCancelled,  // "P0\r" sent
  FileRefused,           // cannot be opened, or breaks the format
  LinkNotOpened,         // the UDP socket could not be created
  Stopped,               // stopped on the user's request before its end
  UnlistedModel,         // the radio named a model this program does not know
};

// Everything the engine needs of its surroundings: the output pane, the status
// panes, the file chooser, message boxes and dialogs, timers and the clock.
// Modal calls may run a nested event loop and re-enter the engine.
class EngineHost : public Clock {
 public:
  ~EngineHost() override = default;

  // Hides the start-up picture for good, empties the output pane and shows it.
  virtual void BeginOutput() = 0;
  // Appends to the output pane; lines end in "\r\n".
  virtual void AppendOutput(std::string_view text) = 0;
  // Status bar pane 0 (progress), 1 (radio model) or 2 (mode).
  virtual void SetStatusText(int pane, std::string_view text) = 0;

  // The open-file dialog; the full path of the chosen file, or nothing when cancelled.
  virtual std::optional<std::string> ChooseRufFile() = 0;
  // A message box with one OK button; an empty caption means the program's name.
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
  // A modal dialog of the given template.
  virtual void ShowDialog(DialogId id) = 0;
  // The extended-memory personality dialog: 1 to 6, or -1 when cancelled.
  virtual int ChoosePersonality() = 0;
  virtual void Beep() = 0;

  // Window timers: an expiry after each period until stopped; the host calls
  // UpdateEngine::OnTimer(id).
  virtual void StartTimer(int id, std::chrono::milliseconds period) = 0;
  virtual void StopTimer(int id) = 0;

  // The radio's identification answer named this model code (0: none).
  virtual void RadioIdentified(std::int32_t /*modelCode*/) {}
  // Progress of the transfer: data lines handled so far of those counted, told
  // as often as the status bar shows it.
  virtual void ReportProgress(int /*done*/, int /*total*/) {}
  // A warning, a refusal, a failure or a trouble of the trace, as data, told beside
  // the pane line or the message box that says it (after it).
  virtual void Finding(const OperationFinding& /*finding*/) {}
  // The radio left a request unanswered and it is sent again: resend of most (7),
  // and the file's line it carries (0 before the first line: the identification
  // request or a start command).
  virtual void SilentResend(int /*fileLine*/, int /*resend*/, int /*most*/) {}
  // An answer of the radio arrived while an operation runs (told for each one). With
  // errors ignored nothing else shows whether the radio heard anything at all.
  virtual void AnswerReceived() {}
  // The UDP socket was created (true) or closed (false); a host that watches its
  // descriptor for datagrams follows it.
  virtual void UdpSocketChanged(bool /*open*/) {}
  // When the radio names a model this program does not know: true ends the
  // operation at once (a script should not wait for the timers to give up);
  // false leaves the silence to the timers.
  virtual bool StopOnUnlistedModel() { return false; }

  // Called once when an operation is over, whichever way it ended.
  virtual void OperationEnded(OperationOutcome /*outcome*/) {}
};

}  // namespace flash
