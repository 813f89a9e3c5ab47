#include "sim/simulated_radio.h"

#include <algorithm>
#include <cstdio>

#include "sim/intel_hex_line.h"

namespace flash::sim {

namespace {

constexpr std::uint8_t kCr = 0x0D;

bool IsRecordMode(std::uint8_t b) {
  return b == kModeProgram || b == kModeVerify || b == kModeTest || b == kModeQuery;
}

bool Is(const std::uint8_t* data, std::size_t size, std::string_view text) {
  return size == text.size() && std::equal(text.begin(), text.end(), data,
                                           [](char c, std::uint8_t b) {
                                             return static_cast<std::uint8_t>(c) == b;
                                           });
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

}  // namespace

const char* RequestKindName(RequestKind kind) {
  switch (kind) {
    case RequestKind::Identification: return "identification";
    case RequestKind::StartCommand: return "start command";
    case RequestKind::PersonalityCancel: return "personality cancelled";
    case RequestKind::Unlock: return "unlock";
    case RequestKind::RecordFrame: return "record frame";
    case RequestKind::SegmentFrame: return "segment frame";
    case RequestKind::SRecordFrame: return "S frame";
    case RequestKind::EFrame: return "E frame";
    case RequestKind::GFrame: return "G frame";
    case RequestKind::HexTextLine: return "hex text line";
    case RequestKind::Text: return "text";
    case RequestKind::Unrecognised: return "unrecognised";
  }
  return "unrecognised";
}

SimulatedRadio::SimulatedRadio(RadioConfig config) : config_(std::move(config)) {}

int SimulatedRadio::ReportedModelCode() const {
  return config_.reportModelCode.value_or(config_.model == 712 ? 0 : config_.model);
}

std::string SimulatedRadio::IdentificationAnswer() const {
  std::string answer = config_.extendedMemory ? "VER-" : "VER ";
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", std::clamp(config_.dspNumber, 0, 9999));
  answer += digits;
  const int code = ReportedModelCode();
  if (config_.reportModelCode.has_value() || code != 0) answer += " " + std::to_string(code);
  answer += "\r";
  return answer;
}

RequestKind SimulatedRadio::Classify(const std::uint8_t* data, std::size_t size, int model) {
  if (size == 0) return RequestKind::Unrecognised;
  if (Is(data, size, "?V\r")) return RequestKind::Identification;
  const bool endsInCr = data[size - 1] == kCr;
  const std::uint8_t first = data[0];
  if (size >= 2 && endsInCr) {
    const std::size_t n = data[1];
    if (IsRecordMode(first) && size == n + 7) return RequestKind::RecordFrame;
    if (first == 'A' && size == n + 7 && data[4] == 0x02) return RequestKind::SegmentFrame;
    if (first == 'S' && size == n + 3 && n >= 1) return RequestKind::SRecordFrame;
    if (first == 'E' && size == 6) return RequestKind::EFrame;
    if (first == 'G' && size == 7) return RequestKind::GFrame;
  }
  // A pass-through line keeps its line ending, CR LF or LF alone, on a UDP link.
  if (!endsInCr && data[size - 1] != '\n') return RequestKind::Unrecognised;
  if (Is(data, size, "XX\r") || Is(data, size, "ZZ\r")) return RequestKind::StartCommand;
  if (Is(data, size, "P0\r")) return RequestKind::PersonalityCancel;
  if (Is(data, size, "UNLOCKBOOT\r")) return RequestKind::Unlock;
  if (first == ':' && (model == 797 || model == 729)) return RequestKind::HexTextLine;
  return RequestKind::Text;
}

std::string SimulatedRadio::HandleRequest(const std::uint8_t* data, std::size_t size) {
  std::string joined;
  for (const std::string& answer : HandleRequestAnswers(data, size)) joined += answer;
  return joined;
}

std::string SimulatedRadio::HandleRequest(std::string_view request) {
  return HandleRequest(reinterpret_cast<const std::uint8_t*>(request.data()), request.size());
}

std::vector<std::string> SimulatedRadio::HandleRequestAnswers(const std::uint8_t* data,
                                                              std::size_t size) {
  RequestRecord record;
  record.number = ++requestCount_;
  record.kind = Classify(data, size, config_.model);
  record.bytes.assign(reinterpret_cast<const char*>(data), size);
  const RadioFaults& faults = config_.faults;

  const bool isEchoedFrame = record.kind == RequestKind::RecordFrame ||
                             record.kind == RequestKind::SegmentFrame ||
                             record.kind == RequestKind::SRecordFrame;
  if (faults.silentFromRequest > 0 && record.number >= faults.silentFromRequest) {
    record.note = "silent (fault: silent from request " +
                  std::to_string(faults.silentFromRequest) + ")";
  } else if (faults.noEchoOnFirstTry && isEchoedFrame && record.bytes != lastUnansweredFrame_) {
    // The request is lost: nothing is written, and the same frame sent again is answered.
    lastUnansweredFrame_ = record.bytes;
    record.note = "silent (fault: no echo on the first try)";
  } else {
    lastUnansweredFrame_.clear();
    record.answers = Answer(record.kind, data, size, record.number, record.note);
    if (faults.garbageEvery > 0 && record.number % faults.garbageEvery == 0 &&
        !record.answers.empty()) {
      record.answers.assign(1, std::string(kGarbageAnswer));
      record.note += record.note.empty() ? "garbage answer (fault)" : "; garbage answer (fault)";
    }
  }
  std::vector<std::string> answers = record.answers;
  log_.push_back(std::move(record));
  return answers;
}

std::string SimulatedRadio::Echo(std::uint8_t value, int number) {
  ++echoCount_;
  const RadioFaults& faults = config_.faults;
  if (echoCount_ <= faults.wrongEchoFirst ||
      (faults.wrongEchoFromRequest > 0 && number >= faults.wrongEchoFromRequest)) {
    value = static_cast<std::uint8_t>(~value);
  }
  char text[8];
  std::snprintf(text, sizeof text, ":%02X\r", value);
  return text;
}

void SimulatedRadio::WriteMemory(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  memory_.Write(address, data, size);
  const std::optional<std::uint32_t> bad = config_.faults.badCell;
  if (bad && *bad >= address && *bad - address < size) {
    memory_.Write(*bad, static_cast<std::uint8_t>(~data[*bad - address]));
  }
}

std::vector<std::string> SimulatedRadio::Answer(RequestKind kind, const std::uint8_t* data,
                                                std::size_t size, int number,
                                                std::string& note) {
  switch (kind) {
    case RequestKind::Identification:
      return {IdentificationAnswer()};

    case RequestKind::StartCommand: {
      // The program sends "XX\r" exactly when the identification named no model.
      const bool wanted = (ReportedModelCode() == 0) == (data[0] == 'X');
      if (!wanted) {
        note = "start command of another model";
        return {std::string(kBadCommandAnswer)};
      }
      return {std::string(kReadyAnswer)};
    }

    case RequestKind::PersonalityCancel:
    case RequestKind::Unlock:
      return {};

    case RequestKind::RecordFrame: {
      const std::uint8_t mode = data[0];
      const std::size_t n = data[1];
      const std::uint16_t offset = static_cast<std::uint16_t>(data[2] << 8 | data[3]);
      const std::uint8_t type = data[4];
      const std::uint8_t* payload = data + 5;
      const std::uint8_t lineChecksum = data[5 + n];
      const std::uint32_t address = (segment_ << 4) + offset;
      if (mode == kModeVerify) {
        // The checksum of what this radio holds there: it matches the line's only when
        // every byte does.
        std::vector<std::uint8_t> held = {data[1], data[2], data[3], type};
        for (std::size_t i = 0; i < n; ++i) {
          held.push_back(memory_.Read(static_cast<std::uint32_t>(address + i)));
        }
        const std::uint8_t sum = IntelChecksum(held.data(), held.size());
        note = "verified " + std::to_string(n) + " bytes at " + Hex(address, 8) +
               (sum == lineChecksum ? ": match" : ": differ");
        return {Echo(sum, number)};
      }
      if (mode == kModeProgram && type == 0x00) {
        WriteMemory(address, payload, n);
        note = "wrote " + std::to_string(n) + " bytes at " + Hex(address, 8);
      } else {
        note = "echoed without writing";
      }
      return {Echo(lineChecksum, number)};
    }

    case RequestKind::SegmentFrame: {
      const std::size_t n = data[1];
      if (n >= 2) segment_ = static_cast<std::uint32_t>(data[5] << 8 | data[6]);
      note = "segment " + Hex(segment_, 4);
      return {Echo(data[5 + n], number)};
    }

    case RequestKind::SRecordFrame: {
      const std::size_t n = data[1];
      const std::uint8_t* body = data + 2;
      const std::size_t bodySize = n - 1;
      // Only S3 data records (4-byte address and at least one data byte) are this
      // long; S5, S8 and S9 end the file and carry nothing to write.
      if (bodySize >= 5) {
        const std::uint32_t address = static_cast<std::uint32_t>(body[0]) << 24 |
                                      static_cast<std::uint32_t>(body[1]) << 16 |
                                      static_cast<std::uint32_t>(body[2]) << 8 | body[3];
        WriteMemory(address, body + 4, bodySize - 4);
        note = "wrote " + std::to_string(bodySize - 4) + " bytes at " + Hex(address, 8);
      } else {
        note = "end record";
      }
      return {Echo(data[1 + n], number)};
    }

    case RequestKind::EFrame:
      return {std::string(kEAnswer)};

    case RequestKind::GFrame:
      return {std::string(kGAnswer)};

    case RequestKind::HexTextLine: {
      IntelHexLine line;
      const std::string fault =
          ParseIntelHexLine(std::string_view(reinterpret_cast<const char*>(data), size), line);
      if (!fault.empty()) {
        note = "refused: " + fault;
        return {std::string(kNakAnswer)};
      }
      if (line.checksum != line.calcChecksum) {
        note = "refused: checksum " + Hex(line.checksum, 2) + ", the line sums to " +
               Hex(line.calcChecksum, 2);
        return {std::string(kNakAnswer)};
      }
      if (line.recordType == 0x00) {
        const std::uint32_t address = (segment_ << 4) + line.address;
        memory_.Write(address, line.data.data(), line.data.size());
        note = "wrote " + std::to_string(line.data.size()) + " bytes at " + Hex(address, 8);
      } else if (line.recordType == 0x02 && line.data.size() >= 2) {
        segment_ = static_cast<std::uint32_t>(line.data[0] << 8 | line.data[1]);
        note = "segment " + Hex(segment_, 4);
      }
      ++textLineCount_;
      const int every = config_.faults.xonXoffEvery;
      if (every > 0 && textLineCount_ % every == 0) {
        note += note.empty() ? "XOFF and XON first (fault)" : "; XOFF and XON first (fault)";
        return {std::string(kXoffAnswer), std::string(kXonAnswer), std::string(kAckAnswer)};
      }
      return {std::string(kAckAnswer)};
    }

    case RequestKind::Text:
    case RequestKind::Unrecognised:
      return {};
  }
  return {};
}

}  // namespace flash::sim
