#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/memory_image.h"

namespace flash::sim {

struct ByteDifference {
  std::uint32_t address = 0;
  std::uint8_t expected = MemoryImage::kErased;
  std::uint8_t found = MemoryImage::kErased;
};

struct ImageComparison {
  bool equal = true;
  std::size_t differingBytes = 0;         // all of them
  std::vector<ByteDifference> first;      // the first few, in address order
  // "images are equal", or one line per listed difference:
  // "Failed to verify at address 0x%08x, expected 0x%02x and found 0x%02x", and a count.
  std::string Describe() const;
};

// Compares every address written in either image; unwritten addresses read 0xFF.
ImageComparison CompareImages(const MemoryImage& expected, const MemoryImage& actual,
                              std::size_t maxListed = 8);

}  // namespace flash::sim
