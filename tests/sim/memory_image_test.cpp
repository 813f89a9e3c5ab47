#include "sim/memory_image.h"

#include <gtest/gtest.h>

#include "sim/image_comparison.h"
#include "tests/support/temp_dir.h"

namespace flash::sim {
namespace {

using test::TempDir;

TEST(MemoryImage, UnwrittenAddressesReadAsErasedFlash) {
  MemoryImage image;
  EXPECT_EQ(image.Read(0x1234), 0xFF);
  EXPECT_FALSE(image.IsWritten(0x1234));
  image.Write(0x1234, 0x00);
  EXPECT_EQ(image.Read(0x1234), 0x00);
  EXPECT_TRUE(image.IsWritten(0x1234));
  EXPECT_EQ(image.size(), 1u);
  image.Write(0x1234, 0x01);
  EXPECT_EQ(image.size(), 1u);
}

TEST(MemoryImage, KeepsBytesAcrossPageBoundariesAndHighAddresses) {
  MemoryImage image;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  image.Write(0x000000FE, data, 4);
  image.Write(0xFFFFFFFE, data, 2);
  EXPECT_EQ(image.Read(0xFF), 2);
  EXPECT_EQ(image.Read(0x101), 4);
  EXPECT_EQ(image.Read(0xFFFFFFFF), 2);
  EXPECT_EQ(image.size(), 6u);
}

TEST(MemoryImage, SavesAsIntelHexThatLoadsBackTheSame) {
  TempDir dir;
  MemoryImage image;
  for (std::uint32_t a = 0; a < 40; ++a) image.Write(0x0FFF0 + a, static_cast<std::uint8_t>(a));
  image.Write(0x12345678, 0xAB);
  const std::string file = dir.File("image.hex");
  std::string error;
  ASSERT_TRUE(image.SaveIntelHex(file, &error)) << error;
  const std::string text = TempDir::Read(file);
  EXPECT_EQ(text.substr(0, 45), ":10FFF000000102030405060708090A0B0C0D0E0F89\r\n");
  EXPECT_NE(text.find(":020000040001F9\r\n"), std::string::npos);
  EXPECT_NE(text.find(":020000041234B4\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");

  MemoryImage loaded;
  ASSERT_TRUE(loaded.LoadIntelHex(file, &error)) << error;
  EXPECT_EQ(loaded.size(), image.size());
  EXPECT_TRUE(loaded == image);
}

TEST(MemoryImage, LoadingABrokenFileNamesTheLineAndKeepsTheOldContent) {
  TempDir dir;
  MemoryImage image;
  image.Write(7, 7);
  std::string error;
  const std::string file = dir.Write("bad.hex", ":0100000011EE\r\n:01000100zz00\r\n");
  EXPECT_FALSE(image.LoadIntelHex(file, &error));
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(image.Read(7), 7);
  EXPECT_EQ(image.size(), 1u);

  const std::string badSum = dir.Write("sum.hex", ":0100000011EF\r\n");
  EXPECT_FALSE(image.LoadIntelHex(badSum, &error));
  EXPECT_NE(error.find("checksum 0xEF"), std::string::npos) << error;
  EXPECT_FALSE(image.LoadIntelHex(dir.File("missing.hex"), &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(MemoryImage, LoadsSegmentRecords) {
  TempDir dir;
  MemoryImage image;
  const std::string file = dir.Write("seg.hex", ":020000021000EC\n:0300300002337A1E\n:00000001FF\n");
  ASSERT_TRUE(image.LoadIntelHex(file));
  EXPECT_EQ(image.Read(0x10031), 0x33);
}

TEST(MemoryImage, ImagesAreEqualWhenEveryAddressReadsTheSame) {
  MemoryImage a;
  MemoryImage b;
  a.Write(0x10, 0xFF);  // written as erased flash reads
  EXPECT_TRUE(a == b);
  b.Write(0x10, 0x00);
  EXPECT_FALSE(a == b);
}

TEST(CompareImages, ListsTheDifferencesWithAddressExpectedAndFound) {
  MemoryImage expected;
  MemoryImage actual;
  const std::uint8_t data[3] = {1, 2, 3};
  expected.Write(0x100, data, 3);
  actual.Write(0x100, data, 3);
  EXPECT_TRUE(CompareImages(expected, actual).equal);
  EXPECT_EQ(CompareImages(expected, actual).Describe(), "images are equal");

  actual.Write(0x101, 0x20);
  actual.Write(0x050, 0x00);  // only in the actual image
  const ImageComparison result = CompareImages(expected, actual);
  EXPECT_FALSE(result.equal);
  EXPECT_EQ(result.differingBytes, 2u);
  ASSERT_EQ(result.first.size(), 2u);
  EXPECT_EQ(result.first[0].address, 0x050u);
  EXPECT_EQ(result.first[1].address, 0x101u);
  EXPECT_EQ(result.Describe(),
            "Failed to verify at address 0x00000050, expected 0xff and found 0x00\n"
            "Failed to verify at address 0x00000101, expected 0x02 and found 0x20\n"
            "2 byte(s) differ");
}

TEST(CompareImages, CountsAllDifferencesButListsOnlyTheFirstFew) {
  MemoryImage expected;
  MemoryImage actual;
  for (std::uint32_t a = 0; a < 100; ++a) actual.Write(a, 0);
  const ImageComparison result = CompareImages(expected, actual, 3);
  EXPECT_EQ(result.differingBytes, 100u);
  ASSERT_EQ(result.first.size(), 3u);
  EXPECT_EQ(result.first[2].address, 2u);
}

}  // namespace
}  // namespace flash::sim
