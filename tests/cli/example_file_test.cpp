#include <gtest/gtest.h>

#include "sim/memory_image.h"
#include "sim/ruf_image.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

TEST(ExampleFile, IsWhatItsGeneratorMakesByteForByte) {
  TempDir dir;
  test::ChildOptions options;
  options.argv = {MAKE_DEMO_RUF_PATH, dir.path()};
  test::ChildProcess generator(options);
  ASSERT_EQ(generator.Wait(10s), 0) << generator.err();
  EXPECT_EQ(TempDir::Read(dir.File("746-demo.ruf")),
            TempDir::Read(EXAMPLES_DIR "/746-demo.ruf"));
  EXPECT_EQ(TempDir::Read(dir.File("746-demo.hex")),
            TempDir::Read(EXAMPLES_DIR "/746-demo.hex"));
}

TEST(ExampleFile, HoldsHeadersCommentsAndSegmentRecordsAndProgramsItsExpectedImage) {
  const std::string file = TempDir::Read(EXAMPLES_DIR "/746-demo.ruf");
  EXPECT_TRUE(file.starts_with("#VER 2.00\r\n#MModel QV746\r\n;"));
  EXPECT_NE(file.find("\r\n:020000020000FC\r\n"), std::string::npos);
  EXPECT_NE(file.find("\r\n:020000021000EC\r\n"), std::string::npos);
  EXPECT_TRUE(file.ends_with("\r\n:00000001FF\r\n"));
  EXPECT_LT(file.size(), 8u * 1024u);

  std::string error;
  const sim::MemoryImage programmed = sim::ImageFromRufFile(EXAMPLES_DIR "/746-demo.ruf", &error);
  EXPECT_EQ(error, "");
  sim::MemoryImage expected;
  ASSERT_TRUE(expected.LoadIntelHex(EXAMPLES_DIR "/746-demo.hex", &error)) << error;
  EXPECT_EQ(expected.size(), 2048u);
  EXPECT_TRUE(programmed == expected);
}

}  // namespace
}  // namespace flash
