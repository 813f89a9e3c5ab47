#include "bench/ruf_file_maker.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "sim/intel_hex_line.h"

namespace flash::bench {
namespace {

constexpr std::size_t kSegmentBytes = 64 * 1024;
constexpr std::size_t kBytesPerLine = 16;
constexpr std::uint32_t kSegmentsInReach = 16;  // type 02 values 0x0000..0xF000

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

void PutRecord(std::FILE* file, std::uint8_t type, std::uint16_t address, const std::uint8_t* data,
               std::size_t count) {
  const std::string line = sim::FormatIntelHexLine(type, address, data, count) + "\r\n";
  std::fwrite(line.data(), 1, line.size(), file);
}

}  // namespace

bool WriteRecordFile(const std::string& path, std::size_t dataLines) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  std::fputs("#VER 2.00\r\n#MModel QV746\r\n;Benchmark file\r\n", file.get());
  std::uint32_t random = 0x2545F491u;
  std::uint8_t data[kBytesPerLine];
  std::size_t offset = 0;
  for (std::size_t line = 0; line < dataLines; ++line) {
    if (offset % kSegmentBytes == 0) {
      const std::uint32_t segment = static_cast<std::uint32_t>(offset / kSegmentBytes);
      const std::uint16_t value = static_cast<std::uint16_t>((segment % kSegmentsInReach) << 12);
      const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                     static_cast<std::uint8_t>(value & 0xFF)};
      PutRecord(file.get(), 0x02, 0, bytes, 2);
    }
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
      random ^= random << 13;
      random ^= random >> 17;
      random ^= random << 5;
      data[i] = static_cast<std::uint8_t>(random);
    }
    PutRecord(file.get(), 0x00, static_cast<std::uint16_t>(offset % kSegmentBytes), data, kBytesPerLine);
    offset += kBytesPerLine;
  }
  std::fputs(":00000001FF\r\n", file.get());
  return std::ferror(file.get()) == 0;
}

}  // namespace flash::bench
