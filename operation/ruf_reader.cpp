#include "operation/ruf_reader.h"

#include <cctype>

#include "operation/text_format.h"

namespace flash {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u == '\r') return "CR";
  if (u == '\n') return "LF";
  if (std::isprint(u)) return Format("'%c'", c);
  return Format("byte 0x%02X", u);
}

// The hex byte at column, or a fault naming the column. Never reads past the line.
std::string ReadHexByte(std::string_view line, std::size_t column, std::uint8_t& out) {
  for (std::size_t i = column; i < column + 2; ++i) {
    if (i >= line.size()) return Format("line ends at column %zu, a hex digit was expected", i);
    if (HexValue(line[i]) < 0) {
      return Format("%s at column %zu is not a hex digit", Printable(line[i]).c_str(), i);
    }
  }
  out = static_cast<std::uint8_t>(HexValue(line[column]) * 16 + HexValue(line[column + 1]));
  return {};
}

std::size_t ContentLength(std::string_view line) {
  std::size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return n;
}

void Note(std::vector<RufFinding>& list, int& count, int lineNumber, std::string text) {
  ++count;
  if (list.size() < kMaxFindings) list.push_back({lineNumber, std::move(text)});
}

}  // namespace

RufReader::~RufReader() { Close(); }

bool RufReader::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  midLine_ = false;
  lineNumber_ = 0;
  return file_ != nullptr;
}

void RufReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

bool RufReader::ReadLine(std::string& line, bool& continuation) {
  line.clear();
  if (file_ == nullptr) return false;
  int c = 0;
  while (line.size() < kMaxLinePiece && (c = std::getc(file_)) != EOF) {
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  if (line.empty()) return false;
  continuation = midLine_;
  if (!midLine_) ++lineNumber_;
  midLine_ = line.back() != '\n';
  if (midLine_) {
    // A piece that stopped exactly at a line end is complete: peek for it.
    const int next = std::getc(file_);
    if (next == EOF) {
      midLine_ = false;
    } else {
      std::ungetc(next, file_);
    }
  }
  return true;
}

LineKind ClassifyLine(std::string_view line, bool continuation) {
  if (continuation || line.empty()) return LineKind::Undefined;
  switch (line[0]) {
    case ':': return LineKind::IntelHex;
    case 'S': return LineKind::SRecord;
    case ';': return LineKind::Comment;
    case '#': break;
    default: return LineKind::Undefined;
  }
  if (line.size() < 2) return LineKind::Undefined;
  switch (line[1]) {
    case '>': return LineKind::PassThrough;
    case 'E': return LineKind::EDirective;
    case 'G': return LineKind::GDirective;
    case 'M': return LineKind::ModelHeader;
    case 'U': return LineKind::Unlock;
    case 'V': return LineKind::FormatHeader;
    default: return LineKind::Undefined;
  }
}

std::string ParseIntelHex(std::string_view line, IntelRecord& record) {
  std::uint8_t count = 0;
  if (auto fault = ReadHexByte(line, 1, count); !fault.empty()) return "byte count: " + fault;
  if (count > 127) return Format("byte count %u is more than a line can hold", count);
  const std::size_t needed = 11 + 2 * static_cast<std::size_t>(count);
  if (ContentLength(line) < needed) {
    return Format("record of %u data bytes needs %zu characters, the line has %zu", count, needed,
                  ContentLength(line));
  }
  record.byteCount = static_cast<std::int8_t>(count);
  if (auto fault = ReadHexByte(line, 3, record.addressHigh); !fault.empty()) return "address: " + fault;
  if (auto fault = ReadHexByte(line, 5, record.addressLow); !fault.empty()) return "address: " + fault;
  if (auto fault = ReadHexByte(line, 7, record.recordType); !fault.empty()) {
    return "record type: " + fault;
  }
  unsigned sum = count + record.addressHigh + record.addressLow + record.recordType;
  for (std::size_t i = 0; i < count; ++i) {
    if (auto fault = ReadHexByte(line, 9 + 2 * i, record.data[i]); !fault.empty()) {
      return "data: " + fault;
    }
    sum += record.data[i];
  }
  if (auto fault = ReadHexByte(line, 9 + 2 * count, record.lineChecksum); !fault.empty()) {
    return "checksum: " + fault;
  }
  record.calcChecksum = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  return {};
}

std::string ParseSRecord(std::string_view line, SRecord& record) {
  if (line.size() < 2 || HexValue(line[1]) < 0 || std::islower(static_cast<unsigned char>(line[1]))) {
    return "the record type after 'S' is not a hex digit";
  }
  record.recordType = HexValue(line[1]);
  std::uint8_t count = 0;
  if (auto fault = ReadHexByte(line, 2, count); !fault.empty()) return "byte count: " + fault;
  if (count > 127) return Format("byte count %u is more than a line can hold", count);
  record.byteCount = static_cast<std::int8_t>(count);
  if (count == 0) return {};
  const std::size_t needed = 4 + 2 * static_cast<std::size_t>(count);
  if (ContentLength(line) < needed) {
    return Format("record with byte count %u needs %zu characters, the line has %zu", count, needed,
                  ContentLength(line));
  }
  unsigned sum = count;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (auto fault = ReadHexByte(line, 4 + 2 * i, record.body[i]); !fault.empty()) {
      return "address or data: " + fault;
    }
    sum += record.body[i];
  }
  if (auto fault = ReadHexByte(line, 2 + 2 * count, record.lineChecksum); !fault.empty()) {
    return "checksum: " + fault;
  }
  record.calcChecksum = static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
  return {};
}

std::string ParseDirectiveBytes(std::string_view line, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    if (auto fault = ReadHexByte(line, 2 + 2 * i, out[i]); !fault.empty()) return fault;
  }
  return {};
}

RufSurvey SurveyRufFile(const std::string& path) {
  RufSurvey survey;
  RufReader reader;
  if (!reader.Open(path)) return survey;
  survey.opened = true;
  std::string line;
  bool continuation = false;
  IntelRecord intel;
  SRecord srec;
  std::uint8_t bytes[4];
  while (reader.ReadLine(line, continuation)) {
    const int number = reader.lineNumber();
    const LineKind kind = ClassifyLine(line, continuation);
    std::string fault;
    switch (kind) {
      case LineKind::IntelHex:
        ++survey.dataLines;
        fault = ParseIntelHex(line, intel);
        if (fault.empty() && intel.byteCount != 0 && intel.calcChecksum != intel.lineChecksum) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", intel.lineChecksum, intel.calcChecksum));
        }
        break;
      case LineKind::SRecord:
        // S0 and S7 are passed over before any field is read.
        if (line.size() > 1 && (line[1] == '0' || line[1] == '7')) break;
        ++survey.dataLines;
        ++survey.sRecordLines;
        fault = ParseSRecord(line, srec);
        if (fault.empty() && srec.byteCount != 0 && srec.calcChecksum != srec.lineChecksum) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", srec.lineChecksum, srec.calcChecksum));
        }
        break;
      case LineKind::EDirective:
        fault = ParseDirectiveBytes(line, 3, bytes);
        break;
      case LineKind::GDirective:
        fault = ParseDirectiveBytes(line, 4, bytes);
        break;
      case LineKind::Undefined:
        Note(survey.undefinedLines, survey.undefinedLineCount, number,
             continuation ? "continues a line longer than 254 characters"
             : ContentLength(line) == 0 ? "blank line"
                                        : "no line kind begins with " + Printable(line[0]));
        break;
      default:
        break;
    }
    if (!fault.empty()) Note(survey.formatFaults, survey.formatFaultCount, number, fault);
  }
  return survey;
}

std::string ModelPrefixOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(name.substr(0, 3));
}

std::int32_t ModelCodeOf(std::string_view prefix) {
  std::size_t i = 0;
  while (i < prefix.size() && std::isspace(static_cast<unsigned char>(prefix[i]))) ++i;
  bool negative = false;
  if (i < prefix.size() && (prefix[i] == '+' || prefix[i] == '-')) negative = prefix[i++] == '-';
  std::int32_t value = 0;
  while (i < prefix.size() && std::isdigit(static_cast<unsigned char>(prefix[i]))) {
    value = value * 10 + (prefix[i++] - '0');
  }
  return negative ? -value : value;
}

}  // namespace flash
