#include <algorithm>

#include "engine/record_frames.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"
#include "engine/model_table.h"

namespace flash {
namespace {

// The gap the radio has always had between two lines; kept as a busy countdown
// (volatile, so the compiler cannot drop it) because radios may rely on it.
constexpr int kBusyCountdown = 50000;

void BusyCountdown() {
  volatile int countdown = kBusyCountdown;
  while (countdown > 0) countdown = countdown - 1;
}


// The lines the counting pass counts: ':' records, and S-records but S0 and S7.
bool IsDataLine(const std::string& line, bool continuation) {
  switch (ClassifyLine(line, continuation)) {
    case LineKind::IntelHex: return true;
    case LineKind::SRecord: return line.size() < 2 || (line[1] != '0' && line[1] != '7');
    default: return false;
  }
}

}  // namespace

LineResult UpdateEngine::processLine() {
  state_.responseTimeoutMs = 10000;
  BusyCountdown();

  if (state_.resendRequested && state_.zzPending) {
    state_.resendRequested = false;
    SendRequest("ZZ\r");
    return LineResult::Wait;
  }
  if (state_.resendRequested) {
    state_.resendRequested = false;
    if (!lineReadThisOperation_) {
      // Nothing of the file goes to a radio that has not been identified and accepted.
      SendLastRequest();
      return LineResult::Wait;
    }
    state_.lineBuffer = state_.lastLine;
    lineContinuation_ = lastLineContinuation_;
    state_.linesProcessed -= 1;
    if (state_.segmentSent) state_.currentSegment.reset();
  } else if (repeatLineAfterSegment_) {
    // The segment-0 frame was taken: now the data line it went out in place of.
    repeatLineAfterSegment_ = false;
    segmentZeroDue_ = false;
    state_.lineBuffer = state_.lastLine;
    lineContinuation_ = lastLineContinuation_;
    state_.linesProcessed -= 1;
    state_.checksumRetries = 0;
    state_.noResponseCount = 0;
  } else {
    if (!rufFile_.ReadLine(state_.lineBuffer, lineContinuation_)) {
      host_.AppendOutput(" End Of Code Processing, Please Standby!\r\n");
      return LineResult::End;
    }
    if (!lineReadThisOperation_) {
      // The transfer has begun: the question of who the radio is has been settled
      // (or passed over, in test mode and with errors ignored).
      host_.StopTimer(kIdentificationTimerId);
      lineReadThisOperation_ = true;
    }
    state_.checksumRetries = 0;
    state_.noResponseCount = 0;
    if (IsDataLine(state_.lineBuffer, lineContinuation_)) ++dataLinesRead_;
  }

  if (state_.linesProcessed <= 50 || state_.linesProcessed % 10 == 0) {
    host_.SetStatusText(
        0, Format("%d of %d Lines Processed", state_.linesProcessed, state_.totalLines));
    host_.ReportProgress(state_.linesProcessed, state_.totalLines);
  }
  state_.lastLine = state_.lineBuffer;
  lastLineContinuation_ = lineContinuation_;
  return HandleLine();
}

LineResult UpdateEngine::HandleLine() {
  const std::string& line = state_.lineBuffer;
  switch (ClassifyLine(line, lineContinuation_)) {
    case LineKind::IntelHex:
      if (TakesTextLines(state_.radioModelCode)) {
        state_.linesProcessed += 1;
        std::size_t length = std::min(line.size(), kFrameBufferSize);
        std::copy_n(line.begin(), length, frameBuffer_);
        SendToRadio(frameBuffer_, static_cast<int>(length));
        return LineResult::WaitText;
      }
      return HandleIntelHex();
    case LineKind::SRecord:
      return HandleSRecord();
    case LineKind::Comment:
      host_.AppendOutput(" " + line.substr(1));
      return LineResult::Next;
    case LineKind::PassThrough:
      return HandlePassThrough();
    case LineKind::EDirective:
      return HandleEDirective();
    case LineKind::GDirective:
      return HandleGDirective();
    case LineKind::ModelHeader:
      host_.AppendOutput(" Radio Update File for " + line.substr(2) + "\r\n");
      return LineResult::Next;
    case LineKind::Unlock:
      if (state_.mode == kModeVerify) return LineResult::Next;
      if (line.size() >= 10 && line.compare(1, 9, "UNLOCKBOO") == 0) {
        state_.expectedEcho = 0;
        SendRequest("UNLOCKBOOT\r");
      }
      return LineResult::Next;
    case LineKind::FormatHeader:
      host_.AppendOutput(" Flash Rom Update File Format Version " +
                         (line.size() > 5 ? line.substr(5) : std::string()) + "\r\n");
      return LineResult::Next;
    case LineKind::Undefined:
      break;
  }
  // A line of no defined kind sends nothing, so there is nothing to wait for.
  return LineResult::Next;
}

bool UpdateEngine::RecordReadable(const std::string& fault) {
  if (!fault.empty()) {
    // The counting pass refuses such a file before anything is sent; this only
    // keeps a half-read record from ever leaving.
    state_.failed = true;
    const std::string text =
        Format("A record breaks the update file format (%s); it was not sent.", fault.c_str());
    host_.AppendOutput(" " + text + "\r\n");
    host_.Finding(
        {.kind = FindingKind::RecordNotSent, .text = text, .line = rufFile_.lineNumber()});
    return false;
  }
  return true;
}

LineResult UpdateEngine::HandleIntelHex() {
  state_.linesProcessed += 1;
  IntelRecord record;
  if (!RecordReadable(ParseIntelHex(state_.lineBuffer, record))) return LineResult::Next;
  if (record.byteCount == 0) {
    // After an end record another image may follow, with data before its own first
    // segment record.
    if (record.recordType == 0x01) segmentZeroDue_ = segmentRecordsInFile_;
    return LineResult::Next;
  }
  // The file was refused before anything was sent if a record's checksum is wrong;
  // should one slip through all the same, the operation cannot succeed.
  if (record.calcChecksum != record.lineChecksum) state_.failed = true;

  switch (record.recordType) {
    case 0x00:
      if (segmentZeroDue_ && state_.personality <= 0) {
        if (state_.currentSegment != 0) return SendSegmentZero();
        segmentZeroDue_ = false;
      }
      state_.expectedEcho = record.lineChecksum;
      return SendFrame(BuildRecordFrame(static_cast<std::uint8_t>(state_.mode & 0xFF), record,
                                        frameBuffer_));
    case 0x02: {
      segmentZeroDue_ = false;
      if (state_.personality > 0) return LineResult::Next;
      const std::int32_t segment = (record.data[0] << 8) | record.data[1];
      if (segment == state_.currentSegment) return LineResult::Next;
      state_.currentSegment = segment;
      state_.segmentSent = true;
      state_.expectedEcho = record.lineChecksum;
      return SendFrame(BuildRecordFrame('A', record, frameBuffer_));
    }
    default:
      return LineResult::Next;
  }
}

LineResult UpdateEngine::SendSegmentZero() {
  // Sent in place of the data line, which follows once the radio has taken it; a
  // resend of the line repeats this frame, as the radio has not confirmed it.
  IntelRecord segmentZero;
  segmentZero.byteCount = 2;
  segmentZero.recordType = 0x02;
  segmentZero.lineChecksum = 0xFC;
  segmentZero.calcChecksum = 0xFC;
  state_.currentSegment = 0;
  state_.segmentSent = true;
  state_.expectedEcho = segmentZero.lineChecksum;
  repeatLineAfterSegment_ = true;
  return SendFrame(BuildRecordFrame('A', segmentZero, frameBuffer_));
}

LineResult UpdateEngine::HandleSRecord() {
  const std::string& line = state_.lineBuffer;
  if (line.size() > 1 && (line[1] == '0' || line[1] == '7')) return LineResult::Next;
  state_.linesProcessed += 1;
  SRecord record;
  if (!RecordReadable(ParseSRecord(line, record))) return LineResult::Next;
  if (record.byteCount == 0) return LineResult::Next;
  if (record.calcChecksum != record.lineChecksum) state_.failed = true;
  if (record.recordType == 1) return LineResult::Next;
  // A termination record (anything but S1 and S3) is the last line read.
  if (record.recordType != 3) rufFile_.Close();
  state_.expectedEcho = record.lineChecksum;
  return SendFrame(BuildSFrame(record, frameBuffer_));
}

LineResult UpdateEngine::HandlePassThrough() {
  const std::string text = state_.lineBuffer.substr(2);
  std::size_t length = std::min(text.size(), kFrameBufferSize);
  std::copy_n(text.begin(), length, frameBuffer_);
  SendToRadio(frameBuffer_, static_cast<int>(length));
  SendRequest("\r");
  return LineResult::Next;
}

LineResult UpdateEngine::HandleEDirective() {
  state_.linesProcessed += 1;
  if (state_.mode == kModeVerify) return LineResult::Next;
  std::uint8_t bytes[3] = {};
  if (const std::string fault = ParseDirectiveBytes(state_.lineBuffer, 3, bytes); !fault.empty()) {
    state_.failed = true;
    const std::string text = "An #E line breaks the update file format (" + fault + "); not sent.";
    host_.AppendOutput(" " + text + "\r\n");
    host_.Finding(
        {.kind = FindingKind::RecordNotSent, .text = text, .line = rufFile_.lineNumber()});
    return LineResult::Next;
  }
  state_.responseTimeoutMs = 40000;
  return SendFrame(state_.personality > 0 ? BuildPersonalityEFrame(state_.personality, frameBuffer_)
                                          : BuildEFrame(bytes, frameBuffer_));
}

LineResult UpdateEngine::HandleGDirective() {
  if (state_.mode == kModeVerify) return LineResult::Next;
  state_.linesProcessed += 1;
  std::uint8_t bytes[4] = {};
  if (const std::string fault = ParseDirectiveBytes(state_.lineBuffer, 4, bytes); !fault.empty()) {
    state_.failed = true;
    const std::string text = "A #G line breaks the update file format (" + fault + "); not sent.";
    host_.AppendOutput(" " + text + "\r\n");
    host_.Finding(
        {.kind = FindingKind::RecordNotSent, .text = text, .line = rufFile_.lineNumber()});
    return LineResult::Next;
  }
  state_.responseTimeoutMs = 10000;
  return SendFrame(BuildGFrame(bytes, frameBuffer_));
}

LineResult UpdateEngine::SendFrame(std::size_t length) {
  SendToRadio(frameBuffer_, static_cast<int>(length), Payload::Binary);
  return LineResult::Wait;
}

}  // namespace flash
