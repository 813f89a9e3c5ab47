#include "sim/ruf_writer.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "sim/intel_hex_line.h"

namespace flash::sim {

namespace {

// The highest address that segment records can reach while keeping the offset
// below 64 KB: segment 0xF000, offset 0xFFFF.
constexpr std::uint32_t kSegmentReach = 0xFFFFF;

std::string FormatS3Line(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  bytes.push_back(static_cast<std::uint8_t>(size + 5));
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes.push_back(static_cast<std::uint8_t>(address >> shift));
  }
  bytes.insert(bytes.end(), data, data + size);
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  bytes.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
  return HexRecordText("S3", bytes);
}

struct DataLine {
  std::uint32_t address = 0;
  std::vector<std::uint8_t> bytes;
};

std::vector<DataLine> SplitIntoLines(const MemoryImage& image, std::size_t bytesPerLine) {
  std::vector<DataLine> lines;
  image.ForEachByte([&](std::uint32_t address, std::uint8_t value) {
    const bool continues = !lines.empty() &&
                           address == lines.back().address + lines.back().bytes.size() &&
                           lines.back().bytes.size() < bytesPerLine &&
                           address % bytesPerLine != 0 && address % 0x10000 != 0;
    if (!continues) lines.push_back({address, {}});
    lines.back().bytes.push_back(value);
  });
  return lines;
}

}  // namespace

bool WriteRufFile(const std::string& path, const MemoryImage& image,
                  const RufWriteOptions& options, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (options.bytesPerLine < 1 || options.bytesPerLine > 120) {
    return fail("bytesPerLine must lie between 1 and 120, not " +
                std::to_string(options.bytesPerLine));
  }
  const std::vector<DataLine> lines = SplitIntoLines(image, options.bytesPerLine);
  if (options.format == RufDataFormat::IntelHex && !lines.empty()) {
    const DataLine& last = lines.back();
    const std::uint32_t highest = last.address + static_cast<std::uint32_t>(last.bytes.size()) - 1;
    const std::uint32_t reach = options.segmentRecords ? kSegmentReach : 0xFFFF;
    if (highest > reach) {
      char text[128];
      std::snprintf(text, sizeof text,
                    "address 0x%08X lies beyond the reach of Intel HEX %s (0x%X); use S-records",
                    static_cast<unsigned>(highest),
                    options.segmentRecords ? "segment records" : "without segment records",
                    static_cast<unsigned>(reach));
      return fail(text);
    }
  }

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return fail("cannot create " + path);
  const std::string& eol = options.lineEnding;
  out << "#VER " << options.formatVersion << eol;
  out << "#M" << options.modelText << eol;
  for (const std::string& comment : options.comments) out << ';' << comment << eol;
  for (const std::string& directive : options.directives) out << directive << eol;

  if (options.format == RufDataFormat::IntelHex) {
    bool segmentWritten = false;
    std::uint32_t segment = 0;
    for (const DataLine& line : lines) {
      const std::uint32_t lineSegment = (line.address >> 16) << 12;
      if (options.segmentRecords && (!segmentWritten || lineSegment != segment)) {
        segment = lineSegment;
        segmentWritten = true;
        const std::uint8_t value[2] = {static_cast<std::uint8_t>(segment >> 8),
                                       static_cast<std::uint8_t>(segment & 0xFF)};
        out << FormatIntelHexLine(0x02, 0, value, 2) << eol;
      }
      out << FormatIntelHexLine(0x00, static_cast<std::uint16_t>(line.address & 0xFFFF),
                                line.bytes.data(), line.bytes.size())
          << eol;
    }
    if (options.endRecord) out << ":00000001FF" << eol;
  } else {
    out << "S00600004844521B" << eol;  // header record "HDR"
    for (const DataLine& line : lines) {
      out << FormatS3Line(line.address, line.bytes.data(), line.bytes.size()) << eol;
    }
    if (options.endRecord) out << "S70500000000FA" << eol;
  }
  out.close();
  if (!out) return fail("cannot write " + path);
  return true;
}

}  // namespace flash::sim
