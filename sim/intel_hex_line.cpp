#include "sim/intel_hex_line.h"

#include <cstdio>

#include "engine/number_text.h"

namespace flash::sim {

bool ReadHexByte(std::string_view text, std::size_t pos, std::uint8_t& out) {
  if (pos + 1 >= text.size()) return false;
  const int high = HexDigitValue(text[pos]);
  const int low = HexDigitValue(text[pos + 1]);
  if (high < 0 || low < 0) return false;
  out = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

std::uint8_t IntelChecksum(const std::uint8_t* bytes, std::size_t size) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::string ParseIntelHexLine(std::string_view line, IntelHexLine& out) {
  // Flash Update takes blanks after the checksum as it takes the line's end.
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' ||
                           line.back() == '\t')) {
    line.remove_suffix(1);
  }
  if (line.empty() || line[0] != ':') return "the line does not begin with ':'";
  std::uint8_t head[4];
  for (std::size_t i = 0; i < 4; ++i) {
    if (!ReadHexByte(line, 1 + 2 * i, head[i])) {
      return "the record header (count, address, type) is not 8 hex digits";
    }
  }
  out.byteCount = head[0];
  out.address = static_cast<std::uint16_t>(head[1] << 8 | head[2]);
  out.recordType = head[3];
  const std::size_t needed = 11 + 2 * static_cast<std::size_t>(out.byteCount);
  if (line.size() < needed) {
    return "the line is " + std::to_string(line.size()) + " characters long, its byte count " +
           std::to_string(out.byteCount) + " needs " + std::to_string(needed);
  }
  if (line.size() > needed) {
    return "the line has " + std::to_string(line.size() - needed) +
           " characters after its checksum";
  }
  out.data.assign(out.byteCount, 0);
  for (std::size_t i = 0; i < out.byteCount; ++i) {
    if (!ReadHexByte(line, 9 + 2 * i, out.data[i])) {
      return "data byte " + std::to_string(i) + " is not two hex digits";
    }
  }
  if (!ReadHexByte(line, 9 + 2 * static_cast<std::size_t>(out.byteCount), out.checksum)) {
    return "the checksum is not two hex digits";
  }
  unsigned sum = head[0] + head[1] + head[2] + head[3];
  for (std::uint8_t b : out.data) sum += b;
  out.calcChecksum = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  return {};
}

std::string FormatIntelHexLine(std::uint8_t recordType, std::uint16_t address,
                               const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size + 4);
  bytes.push_back(static_cast<std::uint8_t>(size));
  bytes.push_back(static_cast<std::uint8_t>(address >> 8));
  bytes.push_back(static_cast<std::uint8_t>(address & 0xFF));
  bytes.push_back(recordType);
  bytes.insert(bytes.end(), data, data + size);
  bytes.push_back(IntelChecksum(bytes.data(), bytes.size()));
  return HexRecordText(":", bytes);
}

std::string HexRecordText(std::string_view prefix, const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(prefix);
  text.reserve(prefix.size() + 2 * bytes.size());
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

}  // namespace flash::sim
