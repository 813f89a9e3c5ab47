#include "examples/demo_image.h"

#include <cstdint>
#include <string_view>

namespace flash::examples {
namespace {

constexpr std::uint32_t kFirstBlock = 0x00000;
constexpr std::uint32_t kSecondBlock = 0x10000;
constexpr std::size_t kBlockSize = 1024;  // bytes
constexpr std::string_view kBanner = "QV746 DEMO FIRMWARE 1.00";

// A fixed xorshift sequence, so that every build makes the same file.
void FillBlock(sim::MemoryImage& image, std::uint32_t base, std::uint32_t seed) {
  std::uint32_t x = seed;
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    image.Write(base + static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(x >> 24));
  }
}

}  // namespace

sim::MemoryImage DemoImage() {
  sim::MemoryImage image;
  FillBlock(image, kFirstBlock, 0x746A0001u);
  FillBlock(image, kSecondBlock, 0x746B0002u);
  image.Write(kFirstBlock, reinterpret_cast<const std::uint8_t*>(kBanner.data()), kBanner.size());
  return image;
}

sim::RufWriteOptions DemoRufOptions() {
  sim::RufWriteOptions options;
  options.formatVersion = "2.00";
  options.modelText = "Model QV746";
  options.comments = {
      "Demonstration firmware for the Model QV746 (2 KiB in two blocks).",
      "Made by make-demo-ruf from a generated image: not real radio firmware.",
      "Flash it into radio-sim --model 746 only.",
  };
  options.format = sim::RufDataFormat::IntelHex;
  options.segmentRecords = true;
  options.bytesPerLine = 16;
  options.lineEnding = "\r\n";
  options.endRecord = true;
  return options;
}

}  // namespace flash::examples
