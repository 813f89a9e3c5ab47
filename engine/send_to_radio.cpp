#include <algorithm>
#include <vector>

#include "engine/text_format.h"
#include "engine/update_engine.h"
#include "engine/model_table.h"

namespace flash {

void UpdateEngine::SendToRadio(std::uint8_t* data, int length, Payload payload) {
  // After a request that could not be sent the operation has ended: nothing follows it.
  if (!running_) return;
  int n = length;
  if (payload == Payload::Text && TakesTextLines(state_.radioModelCode)) {
    // These models take text lines ending in CR alone; a frame's data bytes may be 0x0A.
    for (int i = 0; i < length; ++i) {
      if (data[i] == 0x0A) {
        data[i] = 0;
        --n;
      }
    }
  }
  n = std::max(n, 0);

  std::string traceText;
  traceText.reserve(static_cast<std::size_t>(n) * 3);
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < n; ++i) {
    traceText.push_back(kHex[data[i] >> 4]);
    traceText.push_back(kHex[data[i] & 0x0F]);
    traceText.push_back(' ');
  }
  trace_.TraceSent(traceText);
  NoteTraceFailure();

  StartResponseTimer();

  LinkResult result;
  std::size_t written = static_cast<std::size_t>(n);
  if (settings_.serialActive) {
    result = serial_.Write(data, static_cast<std::size_t>(n), &written);
  }
  if (settings_.ethernetActive) {
    // Every datagram opens with the passcode's low 16 bits, high byte first.
    std::vector<std::uint8_t> datagram(static_cast<std::size_t>(n) + 2);
    datagram[0] = static_cast<std::uint8_t>((settings_.radioPasscode >> 8) & 0xFF);
    datagram[1] = static_cast<std::uint8_t>(settings_.radioPasscode & 0xFF);
    std::copy_n(data, n, datagram.begin() + 2);
    if (result.ok()) result = udp_.Send(datagram.data(), datagram.size());
  }
  if (result.ok()) return;

  // The radio did not get the request (or only its start): waiting for its answer
  // would only look like a silent radio.
  std::string reason = LinkResultText(result);
  if (written != 0 && written < static_cast<std::size_t>(n)) {
    reason += Format(" (only %zu of its %d bytes went out)", written, n);
  }
  trace_.TraceEvent("send", "The request could not be sent to the radio: " + reason);
  host_.AppendOutput(" The request could not be sent to the radio: " + reason + ".\r\n");
  host_.Finding({.kind = FindingKind::RequestNotSent,
                 .text = "The request could not be sent to the radio: " + reason + ".",
                 .code = result.systemError});
  // The request that cancels the update is followed by the update's own end.
  if (state_.personality == -1) return;
  EndEarly();
  ReportCommFailure();
  host_.OperationEnded(OperationOutcome::CommunicationFailed);
}

void UpdateEngine::SendRequest(std::string_view request) {
  std::uint8_t buffer[kFrameBufferSize];
  const std::size_t length = std::min(request.size(), sizeof buffer);
  std::copy_n(request.begin(), length, buffer);
  SendToRadio(buffer, static_cast<int>(length));
}

void UpdateEngine::SendLastRequest() { SendRequest(lastRequest_); }

void UpdateEngine::NoteTraceFailure() {
  if (!trace_.writeFailed() || traceFailureReported_) return;
  traceFailureReported_ = true;
  const std::string reason = trace_.failureReason();
  const std::string text = "The trace file " + trace_.path() + " could not be written (" +
                           (reason.empty() ? std::string("is the disk full?") : reason) +
                           "); the operation goes on without a complete trace.";
  host_.AppendOutput(" " + text + "\r\n");
  host_.Finding({.kind = FindingKind::TraceNotWritten, .text = text});
}

}  // namespace flash
