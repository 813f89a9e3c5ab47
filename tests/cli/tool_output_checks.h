#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/memory_image.h"

namespace flash::test {

// The memory image an Intel HEX file holds (radio-sim's --image-out, an example's image).
inline sim::MemoryImage LoadImage(const std::string& path) {
  sim::MemoryImage image;
  std::string error;
  EXPECT_TRUE(image.LoadIntelHex(path, &error)) << error;
  return image;
}

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace flash::test
