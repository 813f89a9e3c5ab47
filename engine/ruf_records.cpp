#include "engine/ruf_records.h"

#include <cctype>

#include "engine/number_text.h"
#include "engine/ruf_reader.h"
#include "engine/text_format.h"

namespace flash {

std::string DescribeChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u == '\r') return "CR";
  if (u == '\n') return "LF";
  if (std::isprint(u)) return Format("'%c'", c);
  return Format("byte 0x%02X", u);
}

std::size_t LineContentLength(std::string_view line) {
  std::size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return n;
}

namespace {

// A record must fit in one read of a line: the longest whose fields fit in 254
// characters. Its line end may fall into the next piece, which adds nothing.
constexpr std::size_t kLongestIntelData = (kMaxLinePiece - 11) / 2;  // 121 data bytes
constexpr std::size_t kLargestSRecordCount = (kMaxLinePiece - 4) / 2;  // 125: 120 data bytes in S3

// The hex byte at column, or a fault naming the column. Never reads past the line.
std::string ReadHexByte(std::string_view line, std::size_t column, std::uint8_t& out) {
  for (std::size_t i = column; i < column + 2; ++i) {
    if (i >= line.size()) return Format("line ends at column %zu, a hex digit was expected", i);
    if (HexDigitValue(line[i]) < 0) {
      return Format("%s at column %zu is not a hex digit", DescribeChar(line[i]).c_str(), i);
    }
  }
  out = static_cast<std::uint8_t>(HexDigitValue(line[column]) * 16 + HexDigitValue(line[column + 1]));
  return {};
}

// Only blanks and the line ending may follow a record's checksum. Anything else
// is another line that the reading would take as part of this one.
std::string TrailingFault(std::string_view line, std::size_t column) {
  bool carriageReturn = false;
  for (std::size_t i = column; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\r') carriageReturn = true;
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') {
      return carriageReturn ? "text after the record's checksum (carriage-return line ends?)"
                            : Format("text after the record's checksum at column %zu", i);
    }
  }
  return {};
}

}  // namespace

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
  const std::size_t needed = 11 + 2 * static_cast<std::size_t>(count);
  if (count > kLongestIntelData) {
    return Format("a record of %u data bytes needs %zu characters, and lines are read in pieces "
                  "of at most %zu: a record holds at most %zu data bytes",
                  count, needed, kMaxLinePiece, kLongestIntelData);
  }
  if (LineContentLength(line) < needed) {
    return Format("record of %u data bytes needs %zu characters, the line has %zu", count, needed,
                  LineContentLength(line));
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
  return TrailingFault(line, 11 + 2 * static_cast<std::size_t>(count));
}

std::string ParseSRecord(std::string_view line, SRecord& record) {
  if (line.size() < 2 || HexDigitValue(line[1]) < 0 || std::islower(static_cast<unsigned char>(line[1]))) {
    return "the record type after 'S' is not a hex digit";
  }
  record.recordType = HexDigitValue(line[1]);
  std::uint8_t count = 0;
  if (auto fault = ReadHexByte(line, 2, count); !fault.empty()) return "byte count: " + fault;
  const std::size_t needed = 4 + 2 * static_cast<std::size_t>(count);
  if (count > kLargestSRecordCount) {
    return Format("a record with byte count %u needs %zu characters, and lines are read in pieces "
                  "of at most %zu: the byte count is at most %zu (%zu data bytes after an S3 "
                  "record's address)",
                  count, needed, kMaxLinePiece, kLargestSRecordCount, kLargestSRecordCount - 5);
  }
  record.byteCount = static_cast<std::int8_t>(count);
  if (count == 0) return TrailingFault(line, 4);
  if (LineContentLength(line) < needed) {
    return Format("record with byte count %u needs %zu characters, the line has %zu", count, needed,
                  LineContentLength(line));
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
  return TrailingFault(line, 4 + 2 * static_cast<std::size_t>(count));
}

std::string ParseDirectiveBytes(std::string_view line, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    if (auto fault = ReadHexByte(line, 2 + 2 * i, out[i]); !fault.empty()) return fault;
  }
  return {};
}

}  // namespace flash
