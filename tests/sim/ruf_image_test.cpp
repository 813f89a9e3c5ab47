// The memory that radio-sim's --expect and --image-in take from a RUF file must be
// the memory an operation of that file leaves.
#include "sim/ruf_image.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace flash::sim {
namespace {

using test::TempDir;

TEST(ImageFromRufFile, TakesTheDataAnOperationSendsAndNothingElse) {
  TempDir dir;
  std::string error;
  const MemoryImage hex = ImageFromRufFile(dir.Write("746.ruf",
                                                     "#VER 2.00\r\n"
                                                     "#MModel QV746\r\n"
                                                     "; a comment\r\n"
                                                     "#E010203\r\n"
                                                     "#>PASS\r\n"
                                                     ":0300300002337A1F\r\n"  // a wrong sum is sent too
                                                     ":020000021000EC\r\n"
                                                     ":0300300002337A1E\r\n"
                                                     ":00000001FF\r\n"),
                                           &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(hex.size(), 6u);
  EXPECT_EQ(hex.Read(0x00031), 0x33);
  EXPECT_EQ(hex.Read(0x10032), 0x7A);

  const MemoryImage s = ImageFromRufFile(dir.Write("746s.ruf",
                                                   "S00600004844521B\n"
                                                   "S30800012345AABBCC5D\n"
                                                   "S1050010AABB84\n"
                                                   "S9030000FC\n"
                                                   "S30800020000AABBCC00\n"),
                                         &error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(s.size(), 3u) << "S1 records are not sent, and nothing after S9";
  EXPECT_EQ(s.Read(0x00012346), 0xBB);

  const MemoryImage cut =
      ImageFromRufFile(dir.Write("746b.ruf", ":0300300002337A1E\r\n:03004000023\r\n"), &error);
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(cut.size(), 3u);
  ImageFromRufFile(dir.File("none.ruf"), &error);
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace
}  // namespace flash::sim
