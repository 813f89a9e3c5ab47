#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace flash {

enum class LineResult : int { End = 1, Wait = 2, Next = 3, WaitText = 5 };

inline constexpr std::int32_t kModeProgram = 66;   // 'B'
inline constexpr std::int32_t kModeVerify = 86;    // 'V'
inline constexpr std::int32_t kModeTest = 153;     // 0x99

inline constexpr std::size_t kLineBufferSize = 500;
inline constexpr std::size_t kFrameBufferSize = 256;

// The record of the update operation, shared by the operation driver and the
// radio protocol. Start values are those of a freshly started program.
struct OperationState {
  std::int32_t mode = kModeProgram;
  std::int32_t ignoreErrors = 0;
  bool traceEnabled = false;
  bool failed = false;  // a line went wrong: the operation cannot succeed
  std::int32_t checksumErrors = 0;
  std::int8_t checksumRetries = 0;
  std::int8_t noResponseCount = 0;
  bool resendRequested = false;
  bool zzPending = false;
  bool segmentSent = false;
  std::uint8_t expectedEcho = 0;
  std::uint8_t echoValue = 0;
  bool resultDialogOpen = false;
  std::int32_t responseTimeoutMs = 10000;

  std::string modelPrefix;
  std::int32_t fileModelCode = 99999;
  std::int32_t radioModelCode = 0;
  std::int32_t dspVersion = 0;
  std::string dspVersionText;
  std::int32_t totalLines = 0;
  std::int32_t linesProcessed = 0;
  std::int32_t personality = 0;
  std::int64_t startTime = 0;
  std::int64_t endTime = 0;
  std::int32_t elapsedSeconds = 0;

  // Line handling.
  std::string lineBuffer;  // at most 254 characters: one read
  std::string lastLine;    // the line a resend repeats; never cleared
  // The segment the radio was last given; none when it is not known (at the start,
  // or after a resend, which gives the segment again).
  std::optional<std::int32_t> currentSegment;
};

}  // namespace flash
