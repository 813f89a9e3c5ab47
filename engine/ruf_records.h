#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace flash {

enum class LineKind {
  IntelHex,      // ':'
  SRecord,       // 'S'
  Comment,       // ';'
  PassThrough,   // "#>"
  EDirective,    // "#E"
  GDirective,    // "#G"
  ModelHeader,   // "#M"
  Unlock,        // "#U"
  FormatHeader,  // "#V"
  Undefined,     // anything else, and the later pieces of an over-long line
};
LineKind ClassifyLine(std::string_view line, bool continuation);

// The fields of one Intel HEX record.
struct IntelRecord {
  std::int8_t byteCount = 0;
  std::uint8_t addressHigh = 0;
  std::uint8_t addressLow = 0;
  std::uint8_t recordType = 0;
  std::uint8_t data[128] = {};
  std::uint8_t lineChecksum = 0;
  std::uint8_t calcChecksum = 0;  // two's complement of the sum
};

// The fields of one S-record (types other than 0 and 7).
struct SRecord {
  int recordType = 0;  // 0..15
  std::int8_t byteCount = 0;
  std::uint8_t body[128] = {};  // address and data: byteCount - 1 bytes
  std::uint8_t lineChecksum = 0;
  std::uint8_t calcChecksum = 0;  // one's complement of the sum
};

// Parsers answer an empty text on success, or the format fault found.
std::string ParseIntelHex(std::string_view line, IntelRecord& record);
std::string ParseSRecord(std::string_view line, SRecord& record);
// The bytes of an "#E" (3) or "#G" (4) directive at columns 2, 4, 6 (and 8).
std::string ParseDirectiveBytes(std::string_view line, std::size_t count, std::uint8_t* out);
// A line's length without its line ending.
std::size_t LineContentLength(std::string_view line);
// A character as a fault message names it: 'x', CR, LF or byte 0xNN.
std::string DescribeChar(char c);

}  // namespace flash
