// The report of `check`, read in this process; its exit statuses are shown by the tool runs.
#include "cli/file_check.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using test::TempDir;

constexpr char kWrongChecksumRecord[] = ":1000000051563734362044454D4F204649524D57BF\r\n";  // BE is right

TEST(FileCheck, ReportsEachFaultyLineWithItsNumberAndSumsThemUp) {
  TempDir dir;
  // The name gives no model code; lines 4 to 8 are faulty.
  const std::string path = dir.Write("demo.ruf", "#VER 2.00\r\n;a comment\r\n:020000020000FC\r\n" +
                                                     std::string(kWrongChecksumRecord) +
                                                     "\r\n:10000G0051563734362044454D4F204649524D57BE\r\n"
                                                     "S3090000010001020304EC\r\nhello\r\n:00000001FF\r\n");
  const FileCheckResult result = CheckRufFile(path);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.report,
            "File: " + path + "\n"
            "Model code from the file name: 0 (the name does not begin with a three-digit model code: "
            "\"dem\")\n"
            "Data lines: 5\n"
            "Line 4: wrong checksum: checksum BF written, BE computed\n"
            "Line 5: no defined kind: blank line\n"
            "Line 6: breaks the format: address: 'G' at column 6 is not a hex digit\n"
            "Line 7: wrong checksum: checksum EC written, EB computed\n"
            "Line 8: no defined kind: no line kind begins with 'h'\n"
            "Summary: 5 data lines, 2 wrong checksums, 1 format fault, 2 lines of no defined "
            "kind: the file has faults.\n");
}

TEST(FileCheck, ListsAHundredFindingsOfAKindAndCountsTheRest) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 150; ++i) content += kWrongChecksumRecord;
  const FileCheckResult result = CheckRufFile(dir.Write("746-many.ruf", content));
  EXPECT_EQ(result.exitStatus, 1);
  for (const char* part :
       {"Line 100: wrong checksum", "... 50 more wrong checksums not listed\n", "150 wrong checksums"}) {
    EXPECT_NE(result.report.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(result.report.find("Line 101: "), std::string::npos);
}

}  // namespace
}  // namespace flash
