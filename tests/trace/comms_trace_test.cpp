#include <sys/stat.h>

#include <gtest/gtest.h>

#include "link/comms_trace.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace flash::test {
namespace {

class CommsTraceFile : public ::testing::Test {
 protected:
  CommsTraceFile() { trace.SetPath(dir.File("comms.txt")); }
  std::string Contents() { return TempDir::Read(dir.File("comms.txt")); }

  TempDir dir;
  FakeHost clock;
  CommsTrace trace{clock};
};

TEST_F(CommsTraceFile, WritesEveryRecordKindWithItsExactBytesEachAsSoonAsWritten) {
  const mode_t umaskBefore = ::umask(0);
  clock.nowMs = ((9 * 60 + 30) * 60) * 1000 + 7;  // 09:30:00 and 7 ms
  ASSERT_TRUE(trace.Open());
  ::umask(umaskBefore);
  trace.TraceReceived("52 45 41 44 59 0D \r");
  trace.TraceReceived("READY RESPONSE DETECTED");
  clock.nowMs = ((14 * 60 + 5) * 60 + 9) * 1000 + 42;
  trace.TraceSent("3f 56 0d ");
  trace.TraceEvent("END OF ACTION", "FailureFlag=0 Total Errors=0");
  trace.Write(" File CheckSum Error ");
  // Read while the trace is still open: nothing waits in a buffer.
  EXPECT_EQ(Contents(),
            "Log File Begin\r\n"
            "09:30:00:0007 R> 52 45 41 44 59 0D \r\r\n"
            "09:30:00:0007 R> READY RESPONSE DETECTED\r\n"
            "14:05:09:0042 R< 3f 56 0d \r\n"
            "14:05:09:0042[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"
            " File CheckSum Error ");
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("comms.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(CommsTraceFile, TheMillisecondFieldIsAlwaysFourDigits) {
  EXPECT_EQ(CommsTrace::FormatTimestamp({0, 0, 0, 5}), "00:00:00:0005");
  EXPECT_EQ(CommsTrace::FormatTimestamp({23, 59, 59, 999}), "23:59:59:0999");
}

TEST_F(CommsTraceFile, NothingIsWrittenWhileTheFileIsClosed) {
  trace.TraceSent("3f ");
  EXPECT_FALSE(trace.IsOpen());
  ASSERT_TRUE(trace.Open());
  trace.Close();
  trace.TraceEvent("x", "y");
  EXPECT_EQ(Contents(), "Log File Begin\r\n");
}

TEST_F(CommsTraceFile, ANewOpeningReplacesTheEarlierTraceEvenWhileItIsStillOpen) {
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("aa ");
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("bb ");
  trace.Close();
  EXPECT_EQ(Contents(), "Log File Begin\r\n00:00:00:0000 R< bb \r\n");
}

TEST_F(CommsTraceFile, AFullDiskIsNoticed) {
  trace.SetPath("/dev/full");
  ASSERT_TRUE(trace.Open());
  for (int i = 0; i < 2000; ++i) trace.TraceSent("00 11 22 33 44 55 66 77 ");
  trace.Close();
  EXPECT_TRUE(trace.writeFailed());
}

TEST_F(CommsTraceFile, AFileThatCannotBeCreatedLeavesTheTraceClosed) {
  trace.SetPath(dir.File("missing/comms.txt"));
  EXPECT_FALSE(trace.Open());
  EXPECT_FALSE(trace.IsOpen());
}

}  // namespace
}  // namespace flash::test
