#include <gtest/gtest.h>

#include <vector>

#include "engine/operation_state.h"
#include "engine/record_frames.h"

namespace flash {
namespace {

std::vector<int> Frame(const std::uint8_t* bytes, std::size_t n) {
  return std::vector<int>(bytes, bytes + n);
}

TEST(RecordFrames, AProgramRecordCarriesModeCountAddressTypeDataChecksumAndCr) {
  IntelRecord r;
  ASSERT_EQ(ParseIntelHex(":0300300002337A1E\r\n", r), "");
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = BuildRecordFrame(0x42, r, frame);
  EXPECT_EQ(Frame(frame, n),
            (std::vector<int>{0x42, 0x03, 0x00, 0x30, 0x00, 0x02, 0x33, 0x7A, 0x1E, 0x0D}));
}

TEST(RecordFrames, ARecordKeepsTheFilesChecksumByteEvenWhenItIsWrong) {
  IntelRecord r;
  ASSERT_EQ(ParseIntelHex(":0300300002337A55\r\n", r), "");
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = BuildRecordFrame(0x56, r, frame);
  ASSERT_EQ(n, 10u);
  EXPECT_EQ(frame[0], 0x56);
  EXPECT_EQ(frame[8], 0x55);
}

TEST(RecordFrames, SixteenDataBytesMakeA23ByteFrame) {
  IntelRecord r;
  ASSERT_EQ(ParseIntelHex(":10010000214601360121470136007EFE09D2190140\r\n", r), "");
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = BuildRecordFrame(0x99, r, frame);
  ASSERT_EQ(n, 23u);
  EXPECT_EQ(frame[0], 0x99);
  EXPECT_EQ(frame[21], 0x40);
  EXPECT_EQ(frame[22], 0x0D);
}

TEST(RecordFrames, ASegmentRecordFrameBeginsWithA) {
  IntelRecord r;
  ASSERT_EQ(ParseIntelHex(":020000021000EC\r\n", r), "");
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = BuildRecordFrame('A', r, frame);
  EXPECT_EQ(Frame(frame, n), (std::vector<int>{0x41, 0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC, 0x0D}));
}

TEST(RecordFrames, AnSFrameCarriesCountAddressDataAndChecksum) {
  SRecord r;
  ASSERT_EQ(ParseSRecord("S30800001000AABBCCB6\r\n", r), "");
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = BuildSFrame(r, frame);
  EXPECT_EQ(Frame(frame, n), (std::vector<int>{0x53, 0x08, 0x00, 0x00, 0x10, 0x00, 0xAA, 0xBB,
                                               0xCC, 0xB6, 0x0D}));
}

TEST(RecordFrames, DirectiveFramesCarryAComputedChecksum) {
  std::uint8_t frame[kFrameBufferSize];
  const std::uint8_t e[3] = {0x01, 0x02, 0x03};
  EXPECT_EQ(Frame(frame, BuildEFrame(e, frame)), (std::vector<int>{0x45, 1, 2, 3, 0xFA, 0x0D}));
  const std::uint8_t g[4] = {0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Frame(frame, BuildGFrame(g, frame)),
            (std::vector<int>{0x47, 0x10, 0x20, 0x30, 0x40, 0x60, 0x0D}));
}

TEST(RecordFrames, APersonalityFrameNamesTheMemoryLocation) {
  std::uint8_t frame[kFrameBufferSize];
  EXPECT_EQ(Frame(frame, BuildPersonalityEFrame(1, frame)),
            (std::vector<int>{0x45, 1, 0, 0, 0xFF, 0x0D}));
  EXPECT_EQ(Frame(frame, BuildPersonalityEFrame(6, frame)),
            (std::vector<int>{0x45, 6, 0, 0, 0xFA, 0x0D}));
}

}  // namespace
}  // namespace flash
