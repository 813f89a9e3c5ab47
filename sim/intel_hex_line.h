#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flash::sim {

// One Intel HEX record as text: ":nnaaaatt<data>cc".
struct IntelHexLine {
  std::uint8_t byteCount = 0;
  std::uint16_t address = 0;
  std::uint8_t recordType = 0;
  std::vector<std::uint8_t> data;
  std::uint8_t checksum = 0;      // as written in the line
  std::uint8_t calcChecksum = 0;  // two's complement of the sum of count, address, type and data
};

// Parses a line that begins with ':'; blanks, CR and LF may follow the checksum.
// Answers an empty text, or the fault (the checksum is not tested here).
std::string ParseIntelHexLine(std::string_view line, IntelHexLine& out);

// Two's complement of the low byte of the sum of the bytes.
std::uint8_t IntelChecksum(const std::uint8_t* bytes, std::size_t size);

// ":nnaaaatt<data>cc" in upper-case hex, with no line ending.
std::string FormatIntelHexLine(std::uint8_t recordType, std::uint16_t address,
                               const std::uint8_t* data, std::size_t size);

// Reads two hex digits at text[pos]; false when either is not a hex digit.
// prefix followed by each byte as two upper-case hex digits: the text of a record line.
std::string HexRecordText(std::string_view prefix, const std::vector<std::uint8_t>& bytes);

bool ReadHexByte(std::string_view text, std::size_t pos, std::uint8_t& out);

}  // namespace flash::sim
