#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

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

// The lock belongs to the open file description, so a second trace in this
// process meets it as another program's would.
TEST_F(CommsTraceFile, ASecondTraceOnTheSamePathIsRefusedAndLeavesTheFirstWhole) {
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("aa ");
  CommsTrace second{clock};
  second.SetPath(dir.File("comms.txt"));
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.openFailure(), TraceOpenFailure::InUse);
  second.TraceSent("bb ");
  trace.TraceSent("cc ");
  EXPECT_EQ(Contents(), "Log File Begin\r\n00:00:00:0000 R< aa \r\n00:00:00:0000 R< cc \r\n");
  trace.Close();
  EXPECT_TRUE(second.Open());
  EXPECT_EQ(Contents(), "Log File Begin\r\n");
}

TEST_F(CommsTraceFile, ALinkAPipeOrADeviceInTheTracesPlaceIsLeftAlone) {
  const std::string precious = dir.Write("precious.txt", "keep me");
  ASSERT_EQ(::symlink(precious.c_str(), dir.File("to-file").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nothing-yet").c_str(), dir.File("dangling").c_str()), 0);
  // Nobody reads the pipe: opening it for writing would block.
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  for (const std::string& path :
       {dir.File("to-file"), dir.File("dangling"), dir.File("pipe"), std::string("/dev/null")}) {
    trace.SetPath(path);
    EXPECT_FALSE(trace.Open()) << path;
    EXPECT_EQ(trace.openFailure(), TraceOpenFailure::NotARegularFile) << path;
    trace.TraceSent("aa ");
  }
  EXPECT_EQ(TempDir::Read(precious), "keep me");
  EXPECT_FALSE(std::filesystem::exists(dir.File("nothing-yet")));

  trace.SetPath(dir.File("missing/comms.txt"));
  EXPECT_FALSE(trace.Open());
  EXPECT_EQ(trace.openFailure(), TraceOpenFailure::CannotCreate);
  EXPECT_FALSE(trace.IsOpen());
}

}  // namespace
}  // namespace flash::test
