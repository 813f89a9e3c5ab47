#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flash {

// What the engine found or did that a front end may act on, told beside the pane
// text: the front ends decide from the kind, never from the wording.
enum class FindingKind {
  FileWarning,           // the file is sent, but it does something unexpected
  FileRefused,           // the file cannot be opened, breaks the format, or is the trace
  VerifyRefused,         // a Verify could not prove the radio's memory: not begun
  PortUnavailable,       // the serial port cannot be opened
  UdpSocketFailed,       // the UDP socket could not be created
  TraceNotWritten,       // the trace is missing or incomplete; the operation goes on
  ModelMismatch,         // the file is for another model than the radio's
  UnlistedModel,         // the radio named a model this program does not know
  PersonalityCancelled,  // the personality was not chosen: nothing of the file was sent
  RecordNotSent,         // a record broke the format while sending; it was left out
  LinesNotSent,          // fewer data lines were sent than the file counts
  Failed,                // the operation ended and failed: reason says why
  CommunicationFailed,   // the radio stopped answering, or never did
  RequestNotSent,        // the link refused a request: the operation ended at once
  Stopped,               // stopped before its end
  RadioIdentified,       // the radio named its model (code) and DSP version
  PortGone,              // the serial port hung up or went away: the operation ended at once
};

struct OperationFinding {
  FindingKind kind = FindingKind::Failed;
  // The line a technician reads, in the words of the pane or the message box, without
  // leading blanks or line end.
  std::string text{};
  // Failed: the failure's reason alone ("the radio did not echo ..."); otherwise empty.
  std::string reason{};
  int line = 0;             // the file's line it names (the first of several), or 0
  int count = 0;            // how many there are (faults, warnings, lines sent), or 0
  int total = 0;            // of how many (data lines), or 0
  std::string port{};       // the serial port or the UDP port, where one is named
  std::int32_t code = 0;    // the system's error number, or the radio's model code
  std::int32_t dspVersion = 0;  // RadioIdentified: as the radio reported it, in thousandths
};

// A pane line or a message as a finding's text: without its leading blanks and line end.
inline std::string FindingText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  return std::string(text);
}

}  // namespace flash
