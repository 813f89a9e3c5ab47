#include "sim/request_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace flash::sim {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using Requests = std::vector<std::string>;

// A record frame whose address and data hold CR bytes: ":030D0D000D0D0DC2".
const std::string kRecordWithCrs =
    Bytes({0x42, 0x03, 0x0D, 0x0D, 0x00, 0x0D, 0x0D, 0x0D, 0xC2, 0x0D});

class RequestFramerTest : public ::testing::Test {
 protected:
  Requests Feed(const std::string& bytes, milliseconds at = milliseconds{0}) {
    return framer.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                       start + at);
  }

  RequestFramer framer;
  RequestFramer::Clock::time_point start = RequestFramer::Clock::now();
};

TEST_F(RequestFramerTest, CutsEveryFrameKindByItsStructureWholeOrOneByteAtATime) {
  const std::string segment = Bytes({0x41, 0x02, 0x00, 0x00, 0x02, 0x0D, 0x0D, 0xDF, 0x0D});
  const std::string verify = Bytes({0x56, 0x01, 0x00, 0x0D, 0x00, 0x0D, 0xE5, 0x0D});
  const std::string test = Bytes({0x99, 0x01, 0x00, 0x0D, 0x00, 0x0D, 0xE5, 0x0D});
  const std::string s3 = Bytes({0x53, 0x06, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0xB9, 0x0D});
  const std::string e = Bytes({0x45, 0x0D, 0x0D, 0x0D, 0xD9, 0x0D});
  const std::string g = Bytes({0x47, 0x0D, 0x0D, 0x0D, 0x0D, 0xCC, 0x0D});
  // XOFF and XON between requests, and the line feed after a pass-through line, are dropped.
  const std::string stream = "\x13?V\r\x11ZZ\r" + segment + kRecordWithCrs + verify + test + s3 +
                             e + g + "UNLOCKBOOT\r#band\r\n" + kRecordWithCrs +
                             ":0300300002337A1E\r";
  const Requests expected = {"?V\r", "ZZ\r", segment, kRecordWithCrs, verify, test, s3, e, g,
                             "UNLOCKBOOT\r", "#band\r", kRecordWithCrs, ":0300300002337A1E\r"};
  EXPECT_EQ(Feed(stream), expected);
  Requests oneByOne;
  for (char c : stream) {
    for (std::string& r : Feed(std::string(1, c))) oneByOne.push_back(std::move(r));
  }
  EXPECT_EQ(oneByOne, expected);
  EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST_F(RequestFramerTest, ReadsAPassThroughLineThatBeginsWithAFrameLetterAsText) {
  // 'E' frames are 6 bytes ending in CR; a record type is at most 5 ('B','u','r','s','t').
  EXPECT_EQ(Feed("Enable\r"), Requests{"Enable\r"});
  EXPECT_EQ(Feed("Burst\r"), Requests{"Burst\r"});
  // 'S' then 'e' (101) would announce a 104-byte S frame: with no frame ever
  // completing, the partial request gives way to text at the timeout.
  EXPECT_TRUE(Feed("Set band 2\r\n\rBob\r\n\r?V\r").empty());
  EXPECT_EQ(framer.Expire(start + kPartialRequestTimeout + milliseconds{1}),
            (Requests{"Set band 2\r", "\r", "Bob\r", "\r", "?V\r"}));
  EXPECT_EQ(framer.pendingBytes(), 0u);
}

TEST_F(RequestFramerTest, APartialFrameWaitsForItsRestUntilTheTimeoutThenGivesWay) {
  EXPECT_TRUE(Feed(kRecordWithCrs.substr(0, 6)).empty());
  EXPECT_EQ(framer.deadline(), start + kPartialRequestTimeout);
  EXPECT_TRUE(framer.Expire(start + milliseconds{100}).empty());
  EXPECT_EQ(Feed(kRecordWithCrs.substr(6), milliseconds{150}), Requests{kRecordWithCrs});
  EXPECT_FALSE(framer.deadline().has_value());

  const milliseconds later{1000};
  EXPECT_TRUE(Feed(Bytes({0x42, 0x10, 0x00, 0x00}), later).empty());
  EXPECT_TRUE(framer.Expire(start + later + kPartialRequestTimeout + milliseconds{1}).empty());
  EXPECT_EQ(framer.droppedBytes(), 4u);
  EXPECT_EQ(Feed("?V\r", later + milliseconds{300}), Requests{"?V\r"});

  // Noise without a CR is dropped once it outgrows any request.
  EXPECT_TRUE(Feed(std::string(kMaxRequestLength + 1, 'x'), later + milliseconds{300}).empty());
  EXPECT_EQ(framer.pendingBytes(), 0u);
  EXPECT_EQ(framer.droppedBytes(), 4u + kMaxRequestLength + 1);
}

}  // namespace
}  // namespace flash::sim
