#include <algorithm>
#include <cctype>
#include <cstring>

#include "operation/number_text.h"
#include "operation/text_format.h"
#include "operation/update_engine.h"

namespace flash {
namespace {

constexpr std::size_t kSerialReadLimit = 128;
constexpr std::size_t kDatagramLimit = 4096;
constexpr std::int32_t kSocketWouldBlock = 10035;

}  // namespace

void UpdateEngine::OnSerialEvent(std::uint32_t event, std::uint32_t /*error*/) {
  if ((event & kEventFlagChar) == 0) return;
  host_.StopTimer(kIdentificationTimerId);
  std::uint8_t buffer[kSerialReadLimit + 1];
  std::size_t count = 0;
  serial_.Read(buffer, kSerialReadLimit, &count);
  serial_.Purge();
  count = std::min(count, kSerialReadLimit);
  ParseResponse(buffer, count);
}

void UpdateEngine::OnUdpReadable() {
  std::uint8_t buffer[kDatagramLimit + 1];
  std::int32_t error = 0;
  const std::int32_t received = udp_.Receive(buffer, kDatagramLimit, &error);
  if (received < 0) {
    if (error != kSocketWouldBlock) host_.ShowMessage("Windows Socket Error occurred", "");
    return;
  }
  if (received == 0) return;
  ParseResponse(buffer, std::min(static_cast<std::size_t>(received), kDatagramLimit));
}

void UpdateEngine::ParseResponse(const std::uint8_t* bytes, std::size_t length) {
  // Answers after the end of an operation change nothing.
  if (!running_) return;
  state_.zzPending = false;
  if (state_.mode == kModeTest || state_.ignoreErrors == 1) {
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
  const char first = text.empty() ? '\0' : text[0];

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

  if (text.find("READY") != std::string::npos) {
    trace_.TraceReceived("READY RESPONSE DETECTED");
    stepOperation();
  } else if (first == 0x06) {
    trace_.TraceReceived("Model 797 sent a ACKLOD");
    stepOperation();
  } else if (first == 0x13) {
    trace_.TraceReceived("Model 797 sent a XOFF");
  } else if (first == 0x11) {
    trace_.TraceReceived("Model 797 sent a XON");
  } else if (first == ':') {
    EchoCheck(text.c_str());
  } else if (first == 'Z') {
    // The radio's bad-command answer: the response timer decides.
  } else if (first == 'E' || first == 'G' || first == 'A') {
    stepOperation();
  } else if (first == 'S') {
  } else if (text.find("DSP") != std::string::npos) {
    stepOperation();
  } else if (text.find("VER") != std::string::npos) {
    IdentifyRadio(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  } else {
    trace_.TraceEvent("serial response parser", " I didn't understand the response ");
  }
}

void UpdateEngine::EchoCheck(const char* text) {
  const char* p = text + 1;
  while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
  int value = -1;
  for (int digits = 0; digits < 2 && HexDigitValue(*p) >= 0; ++digits, ++p) {
    value = (value < 0 ? 0 : value * 16) + HexDigitValue(*p);
  }
  if (value >= 0) state_.echoValue = static_cast<std::uint8_t>(value);

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
  state_.failureFlag = 1;
  if (firstGivenUpLine_ == 0) firstGivenUpLine_ = rufFile_.lineNumber();
  StopResponseTimer();
  stepOperation();
}

}  // namespace flash
