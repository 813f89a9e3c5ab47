#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/link_settings.h"
#include "engine/trace_sink.h"
#include "engine/engine_host.h"
#include "engine/operation_state.h"
#include "engine/ruf_reader.h"
#include "engine/ruf_survey.h"
#include "engine/radio_links.h"
#include "engine/run_sequence.h"

namespace flash {

struct ModelRow;

inline constexpr int kResponseTimerId = 103;
inline constexpr int kIdentificationTimerId = 125;
// Starts the Verify that follows a successful Program, from a fresh event.
inline constexpr int kVerifyAfterProgramTimerId = 126;

// The state of the UDP link between operations.
struct UdpLinkState {
  std::int32_t socketCreated = 0;
  std::string connectedAddress = "0.0.0.0";
  std::int32_t connectedPort = 1;
};

// The update engine: one operation from the mode command to the result dialog,
// driven by events (commands, answers, timer expiries). It never waits for the
// radio and never touches a platform: everything goes through the host and the
// two link interfaces. All calls come from one thread.
// What a front end chooses for one operation.
struct OperationOptions {
  // The error-checking switch as update.ini and the command line give it: 1
  // ignores the radio's answers and errors; any other value checks them (values
  // other than 0 and 1 also keep the long identification waits).
  std::int32_t ignoreErrors = 0;
  // ignoreErrors was switched on by an argument of this run (the desktop program's
  // command-line rule, the tool's --ignore-errors), not by the setting in update.ini:
  // the output says which.
  bool errorSwitchFromArgument = false;
  // Write the communication trace.
  bool traceEnabled = true;
  // The file's bytes, read once by a front end that flashes radio after radio from one
  // check (and one checksum of the file): sent instead of what the file holds by the
  // time each operation begins.
  std::shared_ptr<const std::string> fileBytes{};
};

// The Process menu's toggle: 1 becomes 0; any other value becomes 1.
std::int32_t ToggledErrorSwitch(std::int32_t ignoreErrors);

// The update engine: one operation from the mode command to the result dialog,
// driven by events (commands, answers, timer expiries). It never waits for the
// radio and never touches a platform: everything goes through the host and the
// two link interfaces, and what happens is reported to the host. All calls come
// from one thread.
class UpdateEngine {
 public:
  UpdateEngine(EngineHost& host, LinkSettings& settings, SerialLink& serial, UdpLink& udp,
               TraceSink& trace);
  UpdateEngine(const UpdateEngine&) = delete;
  UpdateEngine& operator=(const UpdateEngine&) = delete;

  // Begins a run of the mode: the operation starts afresh, shows the mode text in
  // pane 2 and asks for the file. Program then Verify: when the Program succeeds, a
  // Verify of the very bytes programmed follows on the same link, in the same trace,
  // and its own end is reported too; it is refused before anything is sent where a
  // Verify could not prove the radio's memory. Refused while an operation runs.
  void Run(OperationMode mode, const OperationOptions& options = {});
  // Stops a running operation at once (the user quits or presses Ctrl-C): the
  // links, the file and the trace are closed so that the trace is complete. A
  // reason ("stopped by the user") goes into the output and, first, the trace.
  void StopOperation(std::string_view reason = {});

  // Events from the host.
  void OnSerialEvent(std::uint32_t event, std::uint32_t error);
  void OnUdpReadable();
  void OnTimer(int id);

  // True from the identification request until the operation is over, and between
  // a Program and the Verify that follows it.
  bool operationRunning() const { return running_ || verifyPending_; }

  // The serial port hung up or its device went away (the cable was pulled): a
  // running operation ends at once as a communication failure naming the port
  // and the line reached, not after the radio's full silence.
  void OnSerialPortGone();

 private:
  void RunModeCommand(std::int32_t mode, std::string_view paneText, bool clearPaneAfter,
                      const OperationOptions& options, bool verifyAfterProgram);
  void StartAfresh();
  void beginOperation();
  LineResult stepOperation();
  LineResult processLine();

  // The radio protocol.
  // Text (commands, text lines) may be rewritten for models that take lines ending
  // in CR alone; binary frames always go out byte for byte.
  enum class Payload { Text, Binary };
  void SendToRadio(std::uint8_t* data, int length, Payload payload = Payload::Text);
  void ParseResponse(const std::uint8_t* text, std::size_t length);
  void IdentifyRadio(const std::uint8_t* text, std::size_t length);
  // With errors ignored: an identification answer that names another model than the
  // file's ends the operation before any record (true).
  bool StopForAnotherModel(const std::uint8_t* bytes, std::size_t length);
  // Ends the operation before any record: the radio is a model the file is not for.
  void EndForModelMismatch(const ModelRow& row, std::int32_t reportedCode);
  void StartResponseTimer();
  void StopResponseTimer();
  void ReportCommFailure();
  // The file's line a silent radio left unanswered (0 before the first line), and
  // why the operation ends at the resend limit.
  int SilentLine() const;
  std::string SilenceReason() const;
  void SelectPersonality();

  // Links and the trace.
  // False when the serial port is not available.
  bool OpenSerialLink();
  void OpenUdpLink();
  void CloseLinks();
  void OpenCommsTrace();

  void endOperation();
  void showSuccessResult();
  void showFailureResult();
  void ShowResult(bool success);
  // Ends an operation that stops before its end report, closing what it opened
  // so that its trace is complete on disk before the user is told.
  void EndEarly();
  bool RefuseTraceOverFile(const std::string& path);
  bool RefuseMalformedFile(const RufSurvey& survey, const std::string& path);
  bool RefuseUnprovableVerify(const RufSurvey& survey, const std::string& path);
  void BeginVerifyAfterProgram();
  bool VerifyingAfterProgram() const {
    return state_.mode == kModeVerify && !programmedPath_.empty();
  }
  void ShowFileWarnings(const RufSurvey& survey);
  void SendRequest(std::string_view request);
  void SendLastRequest();
  LineResult HandleLine();
  // A record whose format fault (non-empty) is reported: false, and it is not sent.
  bool RecordReadable(const std::string& fault);
  LineResult HandleIntelHex();
  LineResult HandleSRecord();
  LineResult HandleEDirective();
  LineResult HandleGDirective();
  LineResult HandlePassThrough();
  LineResult SendFrame(std::size_t length);
  LineResult SendSegmentZero();
  // One line that tells a technician why a failed operation failed.
  std::string FailureReason() const;
  void EchoCheck(std::string_view text);
  void NoteTraceFailure();
  // Tells the host, as a finding, the trace failure NoteTraceFailure has said.

  EngineHost& host_;
  LinkSettings& settings_;
  SerialLink& serial_;
  UdpLink& udp_;
  TraceSink& trace_;
  OperationState state_;
  UdpLinkState udp_state_;
  RufReader rufFile_;
  std::uint8_t frameBuffer_[kFrameBufferSize] = {};
  bool running_ = false;
  bool lineReadThisOperation_ = false;
  bool lastLineContinuation_ = false;
  bool lineContinuation_ = false;
  bool traceFailureReported_ = false;
  bool choosingPersonality_ = false;
  bool errorSwitchFromArgument_ = false;
  // The file has segment records, and data records may come before the first one of
  // an image (the file's start, or after an end record): segment 0 is set first.
  bool segmentRecordsInFile_ = false;
  bool segmentZeroDue_ = false;
  // The segment-0 frame went out in place of a data line, which is sent next.
  bool repeatLineAfterSegment_ = false;
  // Until the radio has named a model that the file is for, no answer but an
  // identification moves the operation on (with error checking on).
  bool radioIdentified_ = false;
  int dataLinesRead_ = 0;     // data lines read for sending, each once
  int dataLinesToReach_ = 0;  // the data lines the sending pass must read
  int firstGivenUpLine_ = 0;       // file line of the first line the radio never echoed right
  // Program and Verify: the Verify is pending from the Program's end to its start,
  // and reads the very bytes that were programmed.
  bool verifyAfterProgram_ = false;
  bool verifyPending_ = false;
  bool verifyFollowsProgram_ = false;  // the next operation begun is that Verify
  std::string programmedPath_;
  std::int32_t programmedPersonality_ = 0;  // the Verify reads where the Program wrote
  std::string programmedContent_;
  std::shared_ptr<const std::string> givenFileBytes_;  // OperationOptions::fileBytes
  std::string lastRequest_;  // "?V\r" or the start command, for resends before the first line
};

}  // namespace flash
