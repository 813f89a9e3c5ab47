#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/memory_image.h"
#include "sim/radio_config.h"

namespace flash::sim {

enum class RequestKind {
  Identification,     // "?V\r"
  StartCommand,       // "XX\r" or "ZZ\r"
  PersonalityCancel,  // "P0\r"
  Unlock,             // "UNLOCKBOOT\r"
  RecordFrame,        // mode byte 0x42, 0x56, 0x99 or 0x3F, n, address, type, data, checksum, CR
  SegmentFrame,       // 'A' frame: a type 02 record
  SRecordFrame,       // 'S' frame
  EFrame,
  GFrame,
  HexTextLine,        // an Intel HEX line as text (models 797 and 729)
  Text,               // any other text ending in CR or LF: pass-through lines, the lone CR after them
  Unrecognised,       // bytes of no shape the radio knows
};

const char* RequestKindName(RequestKind kind);

// One request as the radio received it, and what it did about it.
struct RequestRecord {
  int number = 0;  // from 1
  RequestKind kind = RequestKind::Unrecognised;
  std::string bytes;
  std::vector<std::string> answers;  // empty: the radio stayed silent
  std::string note;                  // e.g. "wrote 16 bytes at 0x00001230", "silent (fault)"
};

// Answers that the radio gives.
inline constexpr std::string_view kReadyAnswer = "READY\r";
inline constexpr std::string_view kBadCommandAnswer = "Z\r";
inline constexpr std::string_view kEAnswer = "E\r";
inline constexpr std::string_view kGAnswer = "G\r";
// The serial link reports an answer when its CR arrives, so even single-byte
// answers end in CR.
inline constexpr std::string_view kAckAnswer = "\x06\r";
inline constexpr std::string_view kNakAnswer = "\x15\r";
inline constexpr std::string_view kXoffAnswer = "\x13\r";
inline constexpr std::string_view kXonAnswer = "\x11\r";
// Matches none of the answers the program knows.
inline constexpr std::string_view kGarbageAnswer = "~?~\r";

inline constexpr std::uint8_t kModeProgram = 0x42;
inline constexpr std::uint8_t kModeVerify = 0x56;
inline constexpr std::uint8_t kModeTest = 0x99;
inline constexpr std::uint8_t kModeQuery = 0x3F;

// A radio that answers one request at a time, the way the program expects of the
// real ones: identification, start commands, record frames with their echoes
// (Verify echoes come from its own memory), 'E'/'G' frames, text lines of models
// 797 and 729, and the faults of RadioConfig. Standard library only; no timing:
// whoever carries the bytes applies answerDelay.
class SimulatedRadio {
 public:
  explicit SimulatedRadio(RadioConfig config = {});

  // One request (exactly one frame, command or text line). Answers the concatenated
  // answers; empty when the radio stays silent.
  std::string HandleRequest(const std::uint8_t* data, std::size_t size);
  std::string HandleRequest(std::string_view request);
  // The same, with each answer apart: a link carries each one as an answer of its
  // own (one datagram each; with a pause between them on a serial line).
  std::vector<std::string> HandleRequestAnswers(const std::uint8_t* data, std::size_t size);

  const MemoryImage& memory() const { return memory_; }
  MemoryImage& memory() { return memory_; }
  const RadioConfig& config() const { return config_; }
  RadioConfig& config() { return config_; }

  const std::vector<RequestRecord>& log() const { return log_; }
  void ClearLog() { log_.clear(); }

  // "VER 1234 746\r", "VER-1234 734\r", "VER 1234\r" for model 712.
  std::string IdentificationAnswer() const;
  // The model code in the identification answer; 0 when it names none.
  int ReportedModelCode() const;
  // How a radio of the given model reads these bytes as one request.
  static RequestKind Classify(const std::uint8_t* data, std::size_t size, int model);

 private:
  std::vector<std::string> Answer(RequestKind kind, const std::uint8_t* data, std::size_t size,
                                  int number, std::string& note);
  std::string Echo(std::uint8_t value, int number);
  void WriteMemory(std::uint32_t address, const std::uint8_t* data, std::size_t size);

  RadioConfig config_;
  MemoryImage memory_;
  std::vector<RequestRecord> log_;
  int requestCount_ = 0;
  int echoCount_ = 0;
  int textLineCount_ = 0;
  std::uint32_t segment_ = 0;
  std::string lastUnansweredFrame_;
};

}  // namespace flash::sim
