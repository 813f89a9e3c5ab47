#include <algorithm>
#include <filesystem>
#include <system_error>

#include "engine/model_table.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"

namespace flash {
namespace {

constexpr auto kIdentificationTimeout = std::chrono::milliseconds{10000};
constexpr std::size_t kFaultsShownInPane = 20;

// The findings that refuse a file, in the order of their lines, as the pane lists them.
std::vector<std::string> RefusingFindings(const RufSurvey& survey) {
  std::vector<std::pair<int, std::string>> lines;
  const auto add = [&lines](const std::vector<RufFinding>& list, const char* what) {
    for (const RufFinding& f : list) {
      lines.emplace_back(f.lineNumber, Format(" Line %d %s: %s\r\n", f.lineNumber, what,
                                              f.text.c_str()));
    }
  };
  add(survey.formatFaults, "breaks the update file format");
  add(survey.checksumErrors, "has a wrong record checksum");
  add(survey.unplaceable, "holds data the radio cannot place");
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> texts;
  for (auto& [line, text] : lines) texts.push_back(std::move(text));
  return texts;
}

}  // namespace

UpdateEngine::UpdateEngine(EngineHost& host, LinkSettings& settings, SerialLink& serial,
                           UdpLink& udp, TraceSink& trace)
    : host_(host), settings_(settings), serial_(serial), udp_(udp), trace_(trace) {}

std::int32_t ToggledErrorSwitch(std::int32_t ignoreErrors) { return ignoreErrors == 1 ? 0 : 1; }

void UpdateEngine::RunModeCommand(std::int32_t mode, std::string_view paneText,
                                  bool clearPaneAfter, const OperationOptions& options,
                                  bool verifyAfterProgram) {
  // Starting over a running operation would leave the radio half written.
  if (running_ || verifyPending_) return;
  verifyAfterProgram_ = verifyAfterProgram;
  if (!verifyFollowsProgram_) {
    programmedPath_.clear();
    programmedContent_.clear();
  }
  state_.ignoreErrors = options.ignoreErrors;
  errorSwitchFromArgument_ = options.errorSwitchFromArgument;
  givenFileBytes_ = options.fileBytes;
  state_.traceEnabled = options.traceEnabled;
  state_.mode = mode;
  StartAfresh();
  host_.SetStatusText(2, paneText);
  beginOperation();
  if (clearPaneAfter) host_.SetStatusText(2, "");
}

void UpdateEngine::StartAfresh() {
  // Nothing an earlier operation left behind (a failure, a resend, a radio of
  // another model) may change how this one treats the radio.
  state_.checksumRetries = 0;
  state_.checksumErrors = 0;
  state_.failed = false;
  state_.noResponseCount = 0;
  state_.resendRequested = false;
  state_.zzPending = false;
  state_.segmentSent = false;
  state_.expectedEcho = 0;
  state_.echoValue = 0;
  state_.lastLine.clear();
  state_.radioModelCode = 0;
  state_.dspVersion = 0;
  state_.dspVersionText.clear();
  state_.personality = 0;
  state_.responseTimeoutMs = 10000;
  segmentZeroDue_ = false;
  repeatLineAfterSegment_ = false;
  lastRequest_.clear();
}

void UpdateEngine::Run(OperationMode mode, const OperationOptions& options) {
  switch (mode) {
    case OperationMode::Program:
    case OperationMode::ProgramThenVerify:
      RunModeCommand(kModeProgram, "Program Flash", false, options,
                     mode == OperationMode::ProgramThenVerify);
      break;
    case OperationMode::Verify:
      // The mode pane names a Verify as it names a Program, while it runs.
      RunModeCommand(kModeVerify, "Verify Flash", false, options, false);
      break;
    case OperationMode::Test:
      RunModeCommand(kModeTest, "TESTING MODE", true, options, false);
      break;
  }
}

void UpdateEngine::StopOperation(std::string_view reason) {
  if (!running_ && verifyPending_) {
    // Between the Program and its Verify: the Verify is not begun.
    verifyPending_ = false;
    host_.StopTimer(kVerifyAfterProgramTimerId);
    if (!reason.empty()) trace_.TraceEvent("operation", reason);
    if (trace_.IsOpen()) {
      trace_.Close();
      NoteTraceFailure();
    }
    host_.AppendOutput(" The Verify after the Program was not run: the operation was stopped.\r\n");
    host_.Finding({.kind = FindingKind::Stopped,
                   .text = "The Verify after the Program was not run: the operation was stopped."});
    host_.OperationEnded(OperationOutcome::Stopped);
    return;
  }
  if (!running_) return;
  // Progress is told only now and then: the host learns exactly how far the file got.
  host_.ReportProgress(state_.linesProcessed, state_.totalLines);
  if (!reason.empty()) {
    trace_.TraceEvent("operation", reason);
    host_.AppendOutput(Format(" The operation was %.*s.\r\n", static_cast<int>(reason.size()),
                              reason.data()));
  }
  EndEarly();
  host_.AppendOutput(" The operation was stopped before its end; the radio may need a new update.\r\n");
  host_.Finding({.kind = FindingKind::Stopped,
                 .text = "The operation was stopped before its end; the radio may need a new update.",
                 .count = state_.linesProcessed,
                 .total = state_.totalLines});
  host_.OperationEnded(OperationOutcome::Stopped);
}

void UpdateEngine::beginOperation() {
  state_.modelPrefix.clear();
  const bool followUp = verifyFollowsProgram_;
  verifyFollowsProgram_ = false;
  // The Verify after a Program keeps the Program's output above its own.
  if (!followUp) host_.BeginOutput();

  const std::optional<std::string> path =
      followUp ? std::optional<std::string>(programmedPath_) : host_.ChooseRufFile();
  if (!path) return;

  if (state_.ignoreErrors == 1 && errorSwitchFromArgument_) {
    host_.AppendOutput(
        "\r\n *** Detected Command Line Switch to Ignore Radio Responses and Errors *** \r\n");
  } else if (state_.ignoreErrors == 1) {
    host_.AppendOutput(
        "\r\n Error checking is off (Setup, \"Stop On Errors\"): the radio's answers are not "
        "checked.\r\n");
  }
  state_.modelPrefix = ModelPrefixOf(*path);
  state_.fileModelCode = ModelCodeOf(state_.modelPrefix);

  host_.AppendOutput("\r\n Flash Rom Update File - " + *path + "\r\n\r\n");
  if (state_.mode == kModeVerify) {
    host_.AppendOutput(" Please be patient while your radio is being verified.");
  } else if (state_.mode == kModeProgram) {
    host_.AppendOutput(" Please be patient while your radio is being updated.");
  }
  host_.AppendOutput("\r\n\r\n");

  state_.currentSegment.reset();
  state_.zzPending = false;

  if (!followUp && RefuseTraceOverFile(*path)) return;
  // One copy of the file serves the counting and the sending: what is sent is
  // what was checked, even if the file changes on disk meanwhile. The Verify after
  // a Program reads the copy that was programmed.
  std::string content = followUp ? std::move(programmedContent_) : std::string();
  programmedContent_.clear();
  if (!followUp && givenFileBytes_) content = *givenFileBytes_;
  if (std::string why; !followUp && !givenFileBytes_ && !LoadRufFile(*path, content, &why)) {
    const std::string message = "Unable to open file " + *path + ": " + why + ".";
    host_.ShowMessage(message, "");
    host_.Finding({.kind = FindingKind::FileRefused, .text = message});
    host_.OperationEnded(OperationOutcome::FileRefused);
    return;
  }
  const RufSurvey survey = SurveyRufBytes(content);
  state_.totalLines = survey.dataLines;
  host_.AppendOutput(Format(" %d total data lines in file.", state_.totalLines));
  host_.AppendOutput("\r\n");
  if (RefuseMalformedFile(survey, *path)) return;
  if ((verifyAfterProgram_ || state_.mode == kModeVerify) &&
      RefuseUnprovableVerify(survey, *path)) {
    return;
  }
  if (verifyAfterProgram_) {
    programmedPath_ = *path;
    programmedContent_ = content;
  }
  if (!followUp) ShowFileWarnings(survey);
  // Data before the first segment record of an image would land in whatever segment
  // the radio last had: it is placed in segment 0, as the file means.
  segmentZeroDue_ = survey.segmentRecords > 0;
  segmentRecordsInFile_ = survey.segmentRecords > 0;
  rufFile_.OpenBytes(std::move(content));
  dataLinesToReach_ = survey.dataLinesReached;
  dataLinesRead_ = 0;
  firstGivenUpLine_ = 0;

  state_.startTime = host_.CalendarSeconds();
  state_.linesProcessed = 0;
  state_.personality = 0;
  lineReadThisOperation_ = false;
  radioIdentified_ = false;

  bool serialOpened = true;
  if (settings_.serialActive) {
    serialOpened = OpenSerialLink();
  } else if (settings_.ethernetActive) {
    OpenUdpLink();
  }
  // A link that cannot be opened ends the operation at once: nothing was sent, and
  // waiting for the radio's silence would only look like a damaged radio.
  if ((settings_.ethernetActive && udp_state_.socketCreated == 0) || !serialOpened) {
    CloseLinks();
    host_.OperationEnded(OperationOutcome::LinkNotOpened);
    return;
  }

  // The Verify after a Program goes on in the Program's trace, still open.
  if (state_.traceEnabled && !(followUp && trace_.IsOpen())) OpenCommsTrace();

  running_ = true;
  state_.responseTimeoutMs = 10000;
  host_.StartTimer(kIdentificationTimerId, kIdentificationTimeout);
  lastRequest_ = "?V\r";
  SendRequest(lastRequest_);
}

bool UpdateEngine::RefuseTraceOverFile(const std::string& path) {
  if (!state_.traceEnabled) return false;
  std::error_code error;
  if (!std::filesystem::equivalent(trace_.path(), path, error)) return false;
  const std::string reason = "The trace file " + trace_.path() +
                             " is the update file itself; writing the trace would destroy it.";
  const std::string refusal = reason + " The file was refused; nothing was sent to the radio.";
  host_.AppendOutput(" " + refusal + "\r\n");
  host_.ShowMessage(reason + " Nothing was sent to the radio.", "");
  host_.Finding({.kind = FindingKind::FileRefused, .text = refusal});
  host_.OperationEnded(OperationOutcome::FileRefused);
  return true;
}

bool UpdateEngine::RefuseMalformedFile(const RufSurvey& survey, const std::string& path) {
  const std::string reason = RefusalReason(survey, path);
  if (reason.empty()) return false;
  const std::vector<std::string> findings = RefusingFindings(survey);
  for (std::size_t i = 0; i < findings.size() && i < kFaultsShownInPane; ++i) {
    host_.AppendOutput(findings[i]);
  }
  const int findingCount =
      survey.formatFaultCount + survey.checksumErrorCount + survey.unplaceableCount;
  if (static_cast<std::size_t>(findingCount) > kFaultsShownInPane) {
    host_.AppendOutput(Format(" ... %d faults in all.\r\n", findingCount));
  }
  if (!survey.fileFault.empty()) {
    host_.AppendOutput(" The file cannot be sent: " + survey.fileFault + ".\r\n");
  } else if (findings.empty()) {
    host_.AppendOutput(" " + reason + "\r\n");
  }
  host_.AppendOutput(" The file was refused; nothing was sent to the radio.\r\n");
  const std::string message = reason + " Nothing was sent to the radio.";
  host_.ShowMessage(message, "");
  int firstLine = 0;
  for (const auto* list : {&survey.formatFaults, &survey.checksumErrors, &survey.unplaceable}) {
    if (!list->empty() && (firstLine == 0 || list->front().lineNumber < firstLine)) {
      firstLine = list->front().lineNumber;
    }
  }
  host_.Finding({.kind = FindingKind::FileRefused,
                 .text = message,
                 .line = firstLine,
                 .count = findingCount});
  host_.OperationEnded(OperationOutcome::FileRefused);
  return true;
}

void UpdateEngine::ShowFileWarnings(const RufSurvey& survey) {
  if (const std::string warning = WarningSummary(survey); !warning.empty()) {
    host_.AppendOutput(" " + warning + "\r\n");
    host_.Finding({.kind = FindingKind::FileWarning,
                   .text = warning,
                   .line = survey.warnings.front().lineNumber,
                   .count = survey.warningCount});
  }
}

LineResult UpdateEngine::stepOperation() {
  if (!running_) return LineResult::End;
  LineResult result = LineResult::Next;
  do {
    result = processLine();
  } while (result == LineResult::Next && running_);
  // A trace that stopped taking what was sent is told before the operation's end.
  if (result != LineResult::End) return result;
  endOperation();
  return LineResult::End;
}

void UpdateEngine::endOperation() {
  host_.SetStatusText(0, "");
  if (dataLinesRead_ != dataLinesToReach_) {
    // Success must mean every counted line reached the radio.
    state_.failed = true;
    host_.AppendOutput(Format(" %d of the %d data lines counted in the file were sent; the "
                              "update is not complete.\r\n",
                              dataLinesRead_, dataLinesToReach_));
    host_.Finding({.kind = FindingKind::LinesNotSent,
                   .text = Format("%d of the %d data lines counted in the file were sent; the "
                                  "update is not complete.",
                                  dataLinesRead_, dataLinesToReach_),
                   .count = dataLinesRead_,
                   .total = dataLinesToReach_});
  }
  state_.endTime = host_.CalendarSeconds();
  state_.elapsedSeconds = static_cast<std::int32_t>(state_.endTime - state_.startTime);
  host_.AppendOutput(Format("%d Lines Processed in %d Seconds\r\n", state_.totalLines,
                            state_.elapsedSeconds));
  trace_.TraceEvent("End of Processing",
                    Format("%d Checksum Errors Encountered. Total time %d Seconds",
                           state_.checksumErrors, state_.elapsedSeconds));
  trace_.TraceEvent("END OF ACTION", Format("FailureFlag=%d Total Errors=%d", state_.failed ? 1 : 0,
                                            state_.checksumErrors));
  running_ = false;
  StopResponseTimer();
  host_.StopTimer(kIdentificationTimerId);
  const bool failed = state_.failed || state_.checksumErrors > 0;
  // Pending before the links close, so that the trace stays open for the Verify.
  verifyPending_ = verifyAfterProgram_ && !failed && state_.ignoreErrors != 1;
  programmedPersonality_ = state_.personality;
  CloseLinks();
  if (failed) {
    if (state_.ignoreErrors != 1) {
      const std::string reason = FailureReason();
      host_.AppendOutput(" The update failed: " + reason + "\r\n");
      host_.Finding({.kind = FindingKind::Failed,
                     .text = "The update failed: " + reason,
                     .reason = reason,
                     .line = firstGivenUpLine_,
                     .count = state_.checksumErrors});
    }
    showFailureResult();
  } else {
    showSuccessResult();
  }
  if (verifyPending_) host_.StartTimer(kVerifyAfterProgramTimerId, std::chrono::milliseconds{1});
}

bool UpdateEngine::RefuseUnprovableVerify(const RufSurvey& survey, const std::string& path) {
  // A Verify proves the memory only where the radio compares: lines that reach it
  // without the Verify mode byte are written again, so a Verify must never send them.
  std::string reason = VerifyRefusalReason(survey, path);
  if (reason.empty() && verifyAfterProgram_ && state_.ignoreErrors == 1) {
    reason = "A Verify cannot prove that the radio holds " + path +
             ": with error checking off the Verify would ignore the radio's answers.";
  }
  if (reason.empty()) return false;
  host_.AppendOutput(" " + reason + " Nothing was sent to the radio.\r\n");
  const std::string message = reason +
                              (verifyAfterProgram_ ? " Program it without the Verify." : "") +
                              " Nothing was sent to the radio.";
  host_.ShowMessage(message, "");
  host_.Finding({.kind = FindingKind::VerifyRefused, .text = message});
  host_.OperationEnded(OperationOutcome::FileRefused);
  return true;
}

void UpdateEngine::BeginVerifyAfterProgram() {
  verifyPending_ = false;
  verifyFollowsProgram_ = true;
  trace_.TraceEvent("VERIFY AFTER PROGRAM",
                    "The Program succeeded; the radio's memory is now read back against the file");
  host_.AppendOutput("\r\n *** Verify after Program: the radio's memory is read back against "
                     "the file *** \r\n");
  OperationOptions options;
  options.ignoreErrors = state_.ignoreErrors;
  options.traceEnabled = state_.traceEnabled;
  Run(OperationMode::Verify, options);
  // A Verify that could not begin leaves nothing open.
  verifyFollowsProgram_ = false;
  if (!running_ && trace_.IsOpen()) {
    trace_.Close();
    NoteTraceFailure();
  }
}

std::string UpdateEngine::FailureReason() const {
  std::string reason;
  const auto add = [&reason](const std::string& part) {
    reason += (reason.empty() ? "" : "; ") + part;
  };
  const int notEchoed = state_.checksumErrors;
  if (notEchoed > 0) {
    const char* plural = notEchoed == 1 ? "" : "s";
    add(state_.mode == kModeVerify
            ? Format("the radio's memory differs from the file in %d line%s (the first is line "
                     "%d of the file)",
                     notEchoed, plural, firstGivenUpLine_)
            : Format("the radio did not echo %d line%s correctly after 4 sendings each (the "
                     "first is line %d of the file)",
                     notEchoed, plural, firstGivenUpLine_));
  }
  if (dataLinesRead_ != dataLinesToReach_) {
    add(Format("only %d of the %d data lines of the file were sent", dataLinesRead_,
               dataLinesToReach_));
  }
  if (reason.empty()) reason = "a line of the file could not be sent";
  // After a Program that succeeded: the radio took every line but holds something else.
  if (VerifyingAfterProgram()) {
    reason = "the radio was written but does not hold the file: " + reason;
  }
  return reason;
}

void UpdateEngine::showSuccessResult() { ShowResult(true); }

void UpdateEngine::showFailureResult() { ShowResult(false); }

void UpdateEngine::ShowResult(bool success) {
  if (state_.resultDialogOpen) return;
  state_.resultDialogOpen = true;
  host_.SetStatusText(0, "");
  std::optional<DialogId> dialog;
  OperationOutcome outcome = OperationOutcome::EndedWithoutDialog;
  if (state_.ignoreErrors == 1) {
    dialog = DialogId::ProcessingComplete;
    outcome = OperationOutcome::CompletedUnchecked;
  } else if (state_.mode == kModeProgram) {
    dialog = success ? DialogId::ProgramSuccess : DialogId::ProgramFailure;
    outcome = success ? OperationOutcome::ProgramSucceeded : OperationOutcome::ProgramFailed;
  } else if (state_.mode == kModeVerify) {
    dialog = success ? DialogId::VerifySuccess : DialogId::VerifyFailure;
    outcome = success ? OperationOutcome::VerifySucceeded : OperationOutcome::VerifyFailed;
  }
  if (dialog) host_.ShowDialog(*dialog);
  state_.resultDialogOpen = false;
  host_.OperationEnded(outcome);
}

void UpdateEngine::EndEarly() {
  running_ = false;
  host_.StopTimer(kIdentificationTimerId);
  StopResponseTimer();
  CloseLinks();
}

}  // namespace flash
