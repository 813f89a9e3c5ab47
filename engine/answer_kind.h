#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flash {

// What one answer of the radio is, by the rules the radios have always been
// read with. The order of the tests matters where they overlap: an answer that
// holds "READY" goes on even when it begins with ':' or 'Z', and one that holds
// "DSP" is a plain go-on answer even when it also holds "VER".
enum class AnswerKind {
  Ready,           // "READY" anywhere
  Ack,             // 0x06 first
  Xoff,            // 0x13 first: only noted
  Xon,             // 0x11 first: only noted
  Echo,            // ':' first: the check byte of the last frame
  BadCommand,      // 'Z' first: the response timer decides
  GoOn,            // 'E', 'G' or 'A' first, or "DSP" anywhere
  SAnswer,         // 'S' first: nothing
  Identification,  // "VER" anywhere
  NotUnderstood,
};

// text is the answer up to its first NUL byte.
AnswerKind ClassifyAnswer(std::string_view text);

// The value of an echo answer: up to two hex digits after the ':' (blanks
// skipped), or nothing when no digit stands there.
std::optional<std::uint8_t> EchoValue(std::string_view text);

}  // namespace flash
