// comms.txt on disk: each record whole as it is written, held by one program at a
// time, and never written through a link, a pipe or a device.
#include "link/comms_trace.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/link/in_child.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace flash::test {
namespace {

class TraceFile : public ::testing::Test {
 protected:
  TraceFile() { trace.SetPath(path); }

  TempDir dir;
  std::string path = dir.File("comms.txt");
  FakeHost clock;
  CommsTrace trace{clock};
};

TEST_F(TraceFile, HoldsEachRecordWholeAsSoonAsItIsWritten) {
  trace.TraceSent("3f ");  // nothing before the opening
  const mode_t umaskBefore = ::umask(0);
  clock.nowMs = ((9 * 60 + 30) * 60) * 1000 + 7;  // 09:30:00 and 7 ms
  ASSERT_TRUE(trace.Open());
  ::umask(umaskBefore);
  trace.TraceReceived("52 45 41 44 59 0D \r");
  clock.nowMs = ((14 * 60 + 5) * 60 + 9) * 1000 + 42;
  trace.TraceSent("3f 56 0d ");
  trace.TraceEvent("END OF ACTION", "FailureFlag=0 Total Errors=0");
  trace.Write(" File CheckSum Error ");
  // Read while the trace is still open: nothing waits in a buffer.
  EXPECT_EQ(TempDir::Read(path),
            "Log File Begin\r\n"
            "09:30:00:0007 R> 52 45 41 44 59 0D \r\r\n"
            "14:05:09:0042 R< 3f 56 0d \r\n"
            "14:05:09:0042[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"
            " File CheckSum Error ");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
}

TEST_F(TraceFile, IsBegunAnewByEachOpeningAndRefusedToASecondTraceWhileOpen) {
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("aa ");
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("bb ");
  // The lock belongs to the open file: a second trace here meets it as another program's would.
  CommsTrace second{clock};
  second.SetPath(path);
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.openFailure(), TraceOpenFailure::InUse);
  second.TraceSent("xx ");
  trace.TraceSent("cc ");
  EXPECT_EQ(TempDir::Read(path), "Log File Begin\r\n00:00:00:0000 R< bb \r\n00:00:00:0000 R< cc \r\n");
  trace.Close();
  EXPECT_TRUE(second.Open());
  EXPECT_EQ(TempDir::Read(path), "Log File Begin\r\n");
}

TEST_F(TraceFile, LeavesALinkAPipeOrADeviceInItsPlaceAlone) {
  const std::string precious = dir.Write("precious.txt", "keep me");
  ASSERT_EQ(::symlink(precious.c_str(), dir.File("to-file").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nothing-yet").c_str(), dir.File("dangling").c_str()), 0);
  // Nobody reads the pipe: opening it for writing would block.
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  for (const std::string& place :
       {dir.File("to-file"), dir.File("dangling"), dir.File("pipe"), std::string("/dev/null"),
        dir.File("missing/comms.txt")}) {
    trace.SetPath(place);
    EXPECT_FALSE(trace.Open()) << place;
    EXPECT_EQ(trace.openFailure(), place.ends_with("missing/comms.txt")
                                       ? TraceOpenFailure::CannotCreate
                                       : TraceOpenFailure::NotARegularFile)
        << place;
  }
  EXPECT_EQ(TempDir::Read(precious), "keep me");
  EXPECT_FALSE(std::filesystem::exists(dir.File("nothing-yet")));
}

TEST_F(TraceFile, NotesAWriteThatTheDiskRefuses) {
  EXPECT_EQ(InChild([this] {
              // The file-size limit stands in for a full disk: writes past it fail with EFBIG.
              const rlimit small{1024, 1024};
              if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &small) != 0 ||
                  !trace.Open()) {
                return 2;
              }
              trace.TraceSent(std::string(600, 'a'));
              const bool early = trace.writeFailed();
              trace.TraceSent(std::string(600, 'b'));
              return !early && trace.writeFailed() ? 0 : 1;
            }),
            0);
}

}  // namespace
}  // namespace flash::test
