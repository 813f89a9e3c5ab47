#include "sim/image_comparison.h"

#include <algorithm>
#include <cstdio>

namespace flash::sim {

std::string ImageComparison::Describe() const {
  if (equal) return "images are equal";
  std::string text;
  char line[96];
  for (const ByteDifference& d : first) {
    std::snprintf(line, sizeof line,
                  "Failed to verify at address 0x%08x, expected 0x%02x and found 0x%02x\n",
                  static_cast<unsigned>(d.address), d.expected, d.found);
    text += line;
  }
  text += std::to_string(differingBytes) + " byte(s) differ";
  return text;
}

ImageComparison CompareImages(const MemoryImage& expected, const MemoryImage& actual,
                              std::size_t maxListed) {
  ImageComparison result;
  std::vector<ByteDifference> fromExpected;
  std::vector<ByteDifference> fromActual;
  auto check = [&](std::uint32_t address, bool seenInExpected) {
    // An address written in both images is checked once, from the expected side.
    if (!seenInExpected && expected.IsWritten(address)) return;
    const std::uint8_t want = expected.Read(address);
    const std::uint8_t got = actual.Read(address);
    if (want == got) return;
    result.equal = false;
    ++result.differingBytes;
    // Each pass keeps its own first few; the merged listing is cut after sorting.
    auto& listing = seenInExpected ? fromExpected : fromActual;
    if (listing.size() < maxListed) listing.push_back({address, want, got});
  };
  expected.ForEachByte([&](std::uint32_t address, std::uint8_t) { check(address, true); });
  actual.ForEachByte([&](std::uint32_t address, std::uint8_t) { check(address, false); });
  result.first.resize(fromExpected.size() + fromActual.size());
  std::merge(fromExpected.begin(), fromExpected.end(), fromActual.begin(), fromActual.end(),
             result.first.begin(),
             [](const ByteDifference& a, const ByteDifference& b) { return a.address < b.address; });
  if (result.first.size() > maxListed) result.first.resize(maxListed);
  return result;
}

}  // namespace flash::sim
