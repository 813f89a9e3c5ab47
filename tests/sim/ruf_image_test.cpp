#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/image_comparison.h"
#include "sim/ruf_image.h"
#include "sim/ruf_writer.h"
#include "tests/support/temp_dir.h"

namespace flash::sim {
namespace {

using test::TempDir;

MemoryImage Counting(std::uint32_t start, std::uint32_t length) {
  MemoryImage image;
  for (std::uint32_t i = 0; i < length; ++i) {
    image.Write(start + i, static_cast<std::uint8_t>(i * 7 + 3));
  }
  return image;
}

// ImageFromRufFile

TEST(ImageFromRufFile, TakesDataRecordsAtSegmentTimes16PlusOffset) {
  TempDir dir;
  const std::string file = dir.Write("746test.ruf",
                                     "#VER 2.00\r\n"
                                     "#MModel QV746\r\n"
                                     "; a comment\r\n"
                                     "#E010203\r\n"
                                     "#>PASS\r\n"
                                     ":0300300002337A1E\r\n"
                                     ":020000021000EC\r\n"
                                     ":0300300002337A1E\r\n"
                                     ":00000001FF\r\n");
  std::string error;
  const MemoryImage image = ImageFromRufFile(file, &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(image.size(), 6u);
  EXPECT_EQ(image.Read(0x00030), 0x02);
  EXPECT_EQ(image.Read(0x10032), 0x7A);
}

TEST(ImageFromRufFile, TakesS3DataAndStopsAfterAnEndingRecord) {
  TempDir dir;
  const std::string file = dir.Write("746s.ruf",
                                     "S00600004844521B\n"
                                     "S30800012345AABBCC5D\n"
                                     "S1050010AABB84\n"
                                     "S9030000FC\n"
                                     "S30800020000AABBCC00\n");
  std::string error;
  const MemoryImage image = ImageFromRufFile(file, &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(image.size(), 3u);
  EXPECT_EQ(image.Read(0x00012346), 0xBB);
  EXPECT_FALSE(image.IsWritten(0x0010));     // S1 records are not sent
  EXPECT_FALSE(image.IsWritten(0x00020000));  // after S9 nothing is sent
}

TEST(ImageFromRufFile, KeepsTheDataOfALineWithAWrongChecksum) {
  TempDir dir;
  const std::string file = dir.Write("746.ruf", ":0300300002337A1F\r\n");
  std::string error;
  EXPECT_EQ(ImageFromRufFile(file, &error).Read(0x31), 0x33);
  EXPECT_EQ(error, "");
}

TEST(ImageFromRufFile, NamesTheLineThatBreaksTheFormat) {
  TempDir dir;
  const std::string file = dir.Write("746.ruf", ":0300300002337A1E\r\n:03004000023\r\n");
  std::string error;
  const MemoryImage image = ImageFromRufFile(file, &error);
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(image.size(), 3u);
  ImageFromRufFile(dir.File("none.ruf"), &error);
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

// WriteRufFile

TEST(WriteRufFile, WritesHeadersCommentsDirectivesSegmentsDataAndTheEndRecord) {
  TempDir dir;
  MemoryImage image;
  const std::uint8_t data[3] = {0x02, 0x33, 0x7A};
  image.Write(0x10030, data, 3);
  RufWriteOptions options;
  options.comments = {" made by a test"};
  options.directives = {"#E010203", "#UNLOCKBOOT"};
  const std::string file = dir.File("746test.ruf");
  std::string error;
  ASSERT_TRUE(WriteRufFile(file, image, options, &error)) << error;
  EXPECT_EQ(TempDir::Read(file),
            "#VER 2.00\r\n"
            "#MModel QV746\r\n"
            "; made by a test\r\n"
            "#E010203\r\n"
            "#UNLOCKBOOT\r\n"
            ":020000021000EC\r\n"
            ":0300300002337A1E\r\n"
            ":00000001FF\r\n");
}

TEST(WriteRufFile, PutsSixteenBytesOnALineAndASegmentRecordAtEveryChange) {
  TempDir dir;
  MemoryImage image = Counting(0xFFF8, 24);  // crosses into segment 0x1000
  const std::string file = dir.File("746.ruf");
  ASSERT_TRUE(WriteRufFile(file, image));
  const std::string text = TempDir::Read(file);
  EXPECT_NE(text.find(":020000020000FC\r\n:08FFF800"), std::string::npos) << text;
  EXPECT_NE(text.find(":020000021000EC\r\n:10000000"), std::string::npos) << text;
  EXPECT_EQ(ImageFromRufFile(file), image);
}

TEST(WriteRufFile, RoundTripsThroughImageFromRufFile) {
  TempDir dir;
  MemoryImage image = Counting(0x00000, 1000);
  Counting(0x2FFF0, 40).ForEachByte([&](std::uint32_t a, std::uint8_t v) { image.Write(a, v); });
  Counting(0xFFF00, 256).ForEachByte([&](std::uint32_t a, std::uint8_t v) { image.Write(a, v); });
  RufWriteOptions options;
  options.lineEnding = "\n";
  options.bytesPerLine = 32;
  const std::string file = dir.File("781.ruf");
  std::string error;
  ASSERT_TRUE(WriteRufFile(file, image, options, &error)) << error;
  const MemoryImage back = ImageFromRufFile(file, &error);
  EXPECT_EQ(error, "");
  EXPECT_TRUE(CompareImages(image, back).equal) << CompareImages(image, back).Describe();
  EXPECT_EQ(back.size(), image.size());
}

TEST(WriteRufFile, RoundTripsThirtyTwoBitAddressesAsSRecords) {
  TempDir dir;
  MemoryImage image = Counting(0x80000000, 300);
  RufWriteOptions options;
  options.format = RufDataFormat::SRecords;
  const std::string file = dir.File("746.ruf");
  ASSERT_TRUE(WriteRufFile(file, image, options));
  const std::string text = TempDir::Read(file);
  EXPECT_NE(text.find("S00600004844521B\r\nS3158000000003"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 16), "S70500000000FA\r\n");
  EXPECT_EQ(ImageFromRufFile(file), image);
}

TEST(WriteRufFile, EveryLineFitsOneRead) {
  TempDir dir;
  RufWriteOptions options;
  options.bytesPerLine = 120;
  const std::string file = dir.File("746.ruf");
  ASSERT_TRUE(WriteRufFile(file, Counting(0, 600), options));
  const std::string text = TempDir::Read(file);
  std::size_t longest = 0;
  for (std::size_t begin = 0, end; begin < text.size(); begin = end + 1) {
    end = text.find('\n', begin);
    longest = std::max(longest, end - begin + 1);
  }
  EXPECT_EQ(longest, 1u + 8u + 240u + 2u + 2u);
  EXPECT_LE(longest, 254u);
  EXPECT_EQ(ImageFromRufFile(file), Counting(0, 600));
}

TEST(WriteRufFile, RefusesAddressesOutOfTheFormatsReach) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(WriteRufFile(dir.File("a.ruf"), Counting(0x100000, 1), {}, &error));
  EXPECT_NE(error.find("use S-records"), std::string::npos) << error;

  RufWriteOptions flat;
  flat.segmentRecords = false;
  EXPECT_TRUE(WriteRufFile(dir.File("b.ruf"), Counting(0xFFF0, 16), flat, &error)) << error;
  EXPECT_EQ(TempDir::Read(dir.File("b.ruf")).find(":02000002"), std::string::npos);
  EXPECT_FALSE(WriteRufFile(dir.File("c.ruf"), Counting(0xFFF0, 17), flat, &error));
  EXPECT_NE(error.find("0x00010000"), std::string::npos) << error;

  RufWriteOptions wide;
  wide.bytesPerLine = 121;
  EXPECT_FALSE(WriteRufFile(dir.File("d.ruf"), Counting(0, 1), wide, &error));
  EXPECT_NE(error.find("121"), std::string::npos) << error;
}

TEST(WriteRufFile, AnEmptyImageGivesHeadersAndTheEndRecordOnly) {
  TempDir dir;
  const std::string file = dir.File("712.ruf");
  RufWriteOptions options;
  options.modelText = "Ostrel 712";
  ASSERT_TRUE(WriteRufFile(file, MemoryImage{}, options));
  EXPECT_EQ(TempDir::Read(file), "#VER 2.00\r\n#MOstrel 712\r\n:00000001FF\r\n");
}

}  // namespace
}  // namespace flash::sim
