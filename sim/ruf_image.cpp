#include "sim/ruf_image.h"

#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

#include "sim/intel_hex_line.h"

namespace flash::sim {

namespace {

// An S-record's byte count, its address and data bytes; the checksum is not needed here.
std::string ParseSRecordBody(std::string_view line, std::vector<std::uint8_t>& body) {
  std::uint8_t count = 0;
  if (!ReadHexByte(line, 2, count)) return "the byte count is not two hex digits";
  const std::size_t needed = 4 + 2 * static_cast<std::size_t>(count);
  if (line.size() < needed) {
    return "the line is " + std::to_string(line.size()) + " characters long, its byte count " +
           std::to_string(count) + " needs " + std::to_string(needed);
  }
  body.assign(count > 0 ? count - 1u : 0u, 0);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (!ReadHexByte(line, 4 + 2 * i, body[i])) {
      return "byte " + std::to_string(i) + " after the count is not two hex digits";
    }
  }
  return {};
}

}  // namespace

MemoryImage ImageFromRufFile(const std::string& path, std::string* error) {
  MemoryImage image;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return image;
  }
  if (error) error->clear();
  std::uint32_t segment = 0;
  std::string line;
  int lineNumber = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = path + " line " + std::to_string(lineNumber) + ": " + why;
    return image;
  };
  while (std::getline(in, line)) {
    ++lineNumber;
    // Flash Update passes over a UTF-8 byte-order mark, so the memory it leaves does too.
    if (lineNumber == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line.empty()) continue;
    if (line[0] == ':') {
      IntelHexLine record;
      const std::string fault = ParseIntelHexLine(line, record);
      if (!fault.empty()) return fail(fault);
      // Joined images: Flash Update places the data of the next image that come before
      // its own segment record in segment 0.
      if (record.recordType == 0x01) segment = 0;
      if (record.byteCount == 0) continue;
      if (record.recordType == 0x00) {
        image.Write((segment << 4) + record.address, record.data.data(), record.data.size());
      } else if (record.recordType == 0x02) {
        if (record.data.size() < 2) return fail("a segment record needs 2 data bytes");
        segment = static_cast<std::uint32_t>(record.data[0] << 8 | record.data[1]);
      }
    } else if (line[0] == 'S') {
      if (line.size() < 2) return fail("an S-record without a type");
      const char type = line[1];
      if (type == '0' || type == '7') continue;
      std::vector<std::uint8_t> body;
      const std::string fault = ParseSRecordBody(line, body);
      if (!fault.empty()) return fail(fault);
      // A record with a byte count of 0 is never sent.
      if (line.size() >= 4 && line.compare(2, 2, "00") == 0) continue;
      if (type == '1') continue;
      if (type == '3') {
        if (body.size() < 4) return fail("an S3 record needs a 4-byte address");
        const std::uint32_t address = static_cast<std::uint32_t>(body[0]) << 24 |
                                      static_cast<std::uint32_t>(body[1]) << 16 |
                                      static_cast<std::uint32_t>(body[2]) << 8 | body[3];
        image.Write(address, body.data() + 4, body.size() - 4);
        continue;
      }
      break;  // a record of this type is the last one an operation sends
    }
  }
  return image;
}

}  // namespace flash::sim
