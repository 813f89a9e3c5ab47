#include "sim/request_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace flash::sim {
namespace {

using Clock = RequestFramer::Clock;
using std::chrono::milliseconds;
using test::Bytes;

class RequestFramerTest : public ::testing::Test {
 protected:
  std::vector<std::string> Feed(const std::string& bytes, milliseconds at = milliseconds{0}) {
    return framer.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                       start + at);
  }
  std::vector<std::string> FeedByteByByte(const std::string& bytes) {
    std::vector<std::string> all;
    for (char c : bytes) {
      for (std::string& r : Feed(std::string(1, c))) all.push_back(std::move(r));
    }
    return all;
  }

  RequestFramer framer;
  Clock::time_point start = Clock::now();
};

// A record frame whose address and data hold CR bytes: ":030D0D000D0D0DC2".
const std::string kRecordWithCrs =
    Bytes({0x42, 0x03, 0x0D, 0x0D, 0x00, 0x0D, 0x0D, 0x0D, 0xC2, 0x0D});

TEST_F(RequestFramerTest, CutsTheIdentificationRequest) {
  EXPECT_EQ(Feed("?V\r"), std::vector<std::string>{"?V\r"});
  EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST_F(RequestFramerTest, CutsARecordFrameByItsLengthThoughItHoldsCrBytes) {
  EXPECT_EQ(Feed(kRecordWithCrs), std::vector<std::string>{kRecordWithCrs});
}

TEST_F(RequestFramerTest, AssemblesAFrameThatArrivesOneByteAtATime) {
  EXPECT_EQ(FeedByteByByte(kRecordWithCrs), std::vector<std::string>{kRecordWithCrs});
}

TEST_F(RequestFramerTest, CutsEveryFrameKindInOneStream) {
  const std::string verify = Bytes({0x56, 0x01, 0x00, 0x0D, 0x00, 0x0D, 0xE5, 0x0D});
  const std::string test = Bytes({0x99, 0x01, 0x00, 0x0D, 0x00, 0x0D, 0xE5, 0x0D});
  const std::string segment = Bytes({0x41, 0x02, 0x00, 0x00, 0x02, 0x0D, 0x0D, 0xDF, 0x0D});
  const std::string s3 = Bytes({0x53, 0x06, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0xB9, 0x0D});
  const std::string e = Bytes({0x45, 0x0D, 0x0D, 0x0D, 0xD9, 0x0D});
  const std::string g = Bytes({0x47, 0x0D, 0x0D, 0x0D, 0x0D, 0xCC, 0x0D});
  const std::vector<std::string> all = {"?V\r", "ZZ\r", segment, kRecordWithCrs, verify, test,
                                        s3,     e,      g,       "UNLOCKBOOT\r", ":0300300002337A1E\r"};
  std::string stream;
  for (const std::string& r : all) stream += r;
  EXPECT_EQ(Feed(stream), all);
  EXPECT_EQ(FeedByteByByte(stream), all);
}

TEST_F(RequestFramerTest, ReadsAPassThroughLineThatBeginsWithAFrameLetterAsText) {
  // 'S' then 'e' (101) would announce a 104-byte S frame; 'B' then 'o' a 118-byte record.
  const std::vector<std::string> expected = {"Set band 2\r", "\r", "Bob\r", "\r", "?V\r"};
  EXPECT_EQ(Feed("Set band 2\r\n\rBob\r\n\r"), (std::vector<std::string>{}));
  const auto later = Feed("?V\r");
  EXPECT_TRUE(later.empty());
  // With the bytes of no frame ever completing, the partial request gives way to text.
  const auto expired = framer.Expire(start + kPartialRequestTimeout + milliseconds{1});
  EXPECT_EQ(expired, expected);
  EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST_F(RequestFramerTest, ATextLineIsCutAtOnceWhenTheFrameItSeemedToBeEndsWithoutCr) {
  // 'E' frames are 6 bytes ending in CR: "Enable\r" is not one.
  EXPECT_EQ(Feed("Enable\r"), std::vector<std::string>{"Enable\r"});
  // The record type of a record frame is at most 5: 'B','u','r','s','t' is text.
  EXPECT_EQ(Feed("Burst\r"), std::vector<std::string>{"Burst\r"});
}

TEST_F(RequestFramerTest, DiscardsTheLineFeedThatEndsAPassThroughLine) {
  EXPECT_EQ(Feed("#band\r\n" + kRecordWithCrs),
            (std::vector<std::string>{"#band\r", kRecordWithCrs}));
}

TEST_F(RequestFramerTest, DiscardsXonAndXoffBetweenRequests) {
  EXPECT_EQ(Feed("\x13?V\r\x11ZZ\r"), (std::vector<std::string>{"?V\r", "ZZ\r"}));
}

TEST_F(RequestFramerTest, WaitsForTheRestOfAFrame) {
  EXPECT_TRUE(Feed(kRecordWithCrs.substr(0, 6)).empty());
  EXPECT_EQ(framer.pendingBytes(), 6u);
  ASSERT_TRUE(framer.deadline().has_value());
  EXPECT_EQ(*framer.deadline(), start + kPartialRequestTimeout);
  EXPECT_TRUE(framer.Expire(start + milliseconds{100}).empty());
  EXPECT_EQ(Feed(kRecordWithCrs.substr(6), milliseconds{150}),
            std::vector<std::string>{kRecordWithCrs});
  EXPECT_FALSE(framer.deadline().has_value());
}

TEST_F(RequestFramerTest, DropsAPartialFrameLeftLongerThanTheTimeoutAndFramesAnew) {
  EXPECT_TRUE(Feed(Bytes({0x42, 0x10, 0x00, 0x00})).empty());
  EXPECT_TRUE(framer.Expire(start + kPartialRequestTimeout + milliseconds{1}).empty());
  EXPECT_EQ(framer.droppedBytes(), 4u);
  EXPECT_EQ(framer.pendingBytes(), 0u);
  EXPECT_EQ(Feed("?V\r", milliseconds{300}), std::vector<std::string>{"?V\r"});
}

TEST_F(RequestFramerTest, NoiseWithoutACrIsDroppedWhenItOutgrowsAnyRequest) {
  EXPECT_TRUE(Feed(std::string(kMaxRequestLength + 1, 'x')).empty());
  EXPECT_EQ(framer.pendingBytes(), 0u);
  EXPECT_EQ(framer.droppedBytes(), kMaxRequestLength + 1);
}

}  // namespace
}  // namespace flash::sim
