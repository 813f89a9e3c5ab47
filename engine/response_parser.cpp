#include <algorithm>
#include <cstring>

#include "engine/text_format.h"
#include "engine/update_engine.h"
#include "engine/answer_kind.h"
#include "engine/model_table.h"

namespace flash {
namespace {

constexpr std::size_t kSerialReadLimit = 128;
constexpr std::size_t kDatagramLimit = 4096;

}  // namespace

void UpdateEngine::OnSerialEvent(std::uint32_t event, std::uint32_t /*error*/) {
  if ((event & kEventFlagChar) == 0) return;
  host_.StopTimer(kIdentificationTimerId);
  std::uint8_t buffer[kSerialReadLimit + 1];
  std::size_t count = 0;
  // Only a port that is no longer open cannot be read: there is no answer to take.
  if (!serial_.Read(buffer, kSerialReadLimit, &count).ok()) return;
  serial_.Purge();
  count = std::min(count, kSerialReadLimit);
  ParseResponse(buffer, count);
}

void UpdateEngine::OnUdpReadable() {
  std::uint8_t buffer[kDatagramLimit + 1];
  std::size_t received = 0;
  if (const LinkResult result = udp_.Receive(buffer, kDatagramLimit, &received); !result.ok()) {
    host_.ShowMessage("Windows Socket Error occurred: an answer of the radio could not be "
                      "received (" + LinkResultText(result) + ").",
                      "");
    return;
  }
  if (received == 0) return;
  ParseResponse(buffer, std::min(received, kDatagramLimit));
}

void UpdateEngine::ParseResponse(const std::uint8_t* bytes, std::size_t length) {
  // Answers after the end of an operation change nothing.
  if (!running_) return;
  if (length > 0) host_.AnswerReceived();
  state_.zzPending = false;
  if (state_.mode == kModeTest || state_.ignoreErrors == 1) {
    if (state_.ignoreErrors == 1 && StopForAnotherModel(bytes, length)) return;
    stepOperation();
    return;
  }

  std::string traceText;
  traceText.reserve(length * 3 + 1);
  for (std::size_t i = 0; i < length; ++i) traceText += Format("%02hX ", static_cast<unsigned short>(bytes[i]));
  traceText += '\r';
  trace_.TraceReceived(traceText);

  // The answer is read as a text: a NUL byte ends it.
  const std::string text(reinterpret_cast<const char*>(bytes),
                         strnlen(reinterpret_cast<const char*>(bytes), length));
  if (!radioIdentified_) {
    // The model check is the one guard against flashing the wrong firmware: no
    // other answer may start the transfer before it.
    if (text.find("VER") != std::string::npos) {
      IdentifyRadio(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    } else {
      trace_.TraceEvent("serial response parser", " Answer before identification; ignored ");
    }
    return;
  }

  switch (ClassifyAnswer(text)) {
    case AnswerKind::Ready:
      trace_.TraceReceived("READY RESPONSE DETECTED");
      stepOperation();
      break;
    case AnswerKind::Ack:
      trace_.TraceReceived("Model 797 sent a ACKLOD");
      stepOperation();
      break;
    case AnswerKind::Xoff:
      trace_.TraceReceived("Model 797 sent a XOFF");
      break;
    case AnswerKind::Xon:
      trace_.TraceReceived("Model 797 sent a XON");
      break;
    case AnswerKind::Echo:
      EchoCheck(text);
      break;
    case AnswerKind::GoOn:
      stepOperation();
      break;
    case AnswerKind::BadCommand:  // the response timer decides
    case AnswerKind::SAnswer:
      break;
    case AnswerKind::Identification:
      IdentifyRadio(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
      break;
    case AnswerKind::NotUnderstood:
      trace_.TraceEvent("serial response parser", " I didn't understand the response ");
      break;
  }
}

bool UpdateEngine::StopForAnotherModel(const std::uint8_t* bytes, std::size_t length) {
  // With errors ignored the answers are not needed, so a radio that cannot identify
  // itself can still be recovered; but a radio that does name a model the file is
  // not for must not get it.
  if (lineReadThisOperation_) return false;
  const std::string text(reinterpret_cast<const char*>(bytes),
                         strnlen(reinterpret_cast<const char*>(bytes), length));
  if (text.find("VER") == std::string::npos) return false;
  const std::int32_t reported = ReportedModelCode(text);
  const ModelRow* row = FindModelRow(reported);
  if (row == nullptr || row->fileCode == state_.fileModelCode) return false;
  host_.RadioIdentified(reported);
  host_.SetStatusText(1, row->statusText);
  EndForModelMismatch(*row, reported);
  return true;
}

void UpdateEngine::EchoCheck(std::string_view text) {
  if (const auto value = EchoValue(text)) state_.echoValue = *value;

  if (state_.echoValue == state_.expectedEcho) {
    stepOperation();
    return;
  }
  state_.checksumRetries = static_cast<std::int8_t>(state_.checksumRetries + 1);
  if (state_.checksumRetries <= 3) {
    state_.resendRequested = true;
    stepOperation();
    return;
  }
  // The fourth mismatch gives the line up; the operation goes on but has failed.
  state_.resendRequested = false;
  state_.checksumRetries = 0;
  state_.checksumErrors += 1;
  state_.failed = true;
  if (firstGivenUpLine_ == 0) firstGivenUpLine_ = rufFile_.lineNumber();
  StopResponseTimer();
  stepOperation();
}

}  // namespace flash
