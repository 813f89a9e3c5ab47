#include "engine/answer_kind.h"

#include "engine/number_text.h"

namespace flash {

AnswerKind ClassifyAnswer(std::string_view text) {
  const char first = text.empty() ? '\0' : text[0];
  if (text.find("READY") != std::string_view::npos) return AnswerKind::Ready;
  switch (first) {
    case 0x06: return AnswerKind::Ack;
    case 0x13: return AnswerKind::Xoff;
    case 0x11: return AnswerKind::Xon;
    case ':': return AnswerKind::Echo;
    case 'Z': return AnswerKind::BadCommand;
    case 'E':
    case 'G':
    case 'A': return AnswerKind::GoOn;
    case 'S': return AnswerKind::SAnswer;
    default: break;
  }
  if (text.find("DSP") != std::string_view::npos) return AnswerKind::GoOn;
  if (text.find("VER") != std::string_view::npos) return AnswerKind::Identification;
  return AnswerKind::NotUnderstood;
}

std::optional<std::uint8_t> EchoValue(std::string_view text) {
  std::size_t i = 1;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  int value = -1;
  for (int digits = 0; digits < 2 && i < text.size() && HexDigitValue(text[i]) >= 0; ++digits) {
    value = (value < 0 ? 0 : value * 16) + HexDigitValue(text[i++]);
  }
  if (value < 0) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

}  // namespace flash
