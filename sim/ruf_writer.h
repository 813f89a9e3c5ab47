#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sim/memory_image.h"

namespace flash::sim {

enum class RufDataFormat {
  IntelHex,  // ':' records, type 02 segment records, a type 01 end record
  SRecords,  // an S0 header, S3 data records, an S7 end record
};

struct RufWriteOptions {
  std::string formatVersion = "2.00";         // "#VER " + this
  std::string modelText = "Model QV746";      // "#M" + this
  std::vector<std::string> comments;          // each written as ";" + text
  // Lines written as they stand after the comments, before the data: "#E010203",
  // "#G01020304", "#UNLOCKBOOT", "#>TEXT" and the like.
  std::vector<std::string> directives;
  RufDataFormat format = RufDataFormat::IntelHex;
  // Intel HEX: a type 02 record before the first data line and at every change of
  // segment (addresses up to 0xFFFFF). Without them every address must lie below 64 KB.
  bool segmentRecords = true;
  std::size_t bytesPerLine = 16;  // 1 to 120, so that every line fits one 254-character read
  std::string lineEnding = "\r\n";
  bool endRecord = true;
};

// Writes a well-formed RUF file that holds the image's bytes. Lines never cross a
// multiple of bytesPerLine or a 64 KB boundary. Answers false with *error set when the
// options do not fit the image (an address out of the format's reach) or the file
// cannot be written.
bool WriteRufFile(const std::string& path, const MemoryImage& image,
                  const RufWriteOptions& options = {}, std::string* error = nullptr);

}  // namespace flash::sim
