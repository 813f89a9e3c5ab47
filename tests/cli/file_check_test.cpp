// The report of `check`, read in this process; its exit statuses are shown by the tool runs.
#include "cli/file_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
            "Verify: not possible: its S-record lines reach the radio without the Verify mode byte, "
            "and the radio writes them\n"
            "Summary: 5 data lines, 2 wrong checksums, 1 format fault, 2 lines of no defined "
            "kind: the file has faults.\n");
}

// The status is 1 exactly when program, verify and test would refuse the file.
TEST(FileCheck, SaysWhatAnOperationWouldRefuseAndWhetherAVerifyIsPossible) {
  TempDir dir;
  const std::string records = ":020000020000FC\r\n:0400000001020304F2\r\n:00000001FF\r\n";
  const struct {
    const char* name;
    std::string content;
    int status;
    std::vector<std::string> parts;
  } files[] = {
      {"746-good.ruf", "#MModel QV746\r\n" + records, 0, {"Verify: possible\n", ": no fault found.\n"}},
      {"734-other.ruf", "#MModel QV746\r\n" + records, 1,
       {"Model conflict: its model line (line 1, \"Model QV746\") names model 746, its name model 734\n",
        "Verify: not possible: the file has faults\n", ": the file has faults.\n"}},
      {"746-placed.ruf", ":020000040001F9\r\nS107000001020304EE\r\n" + records, 1,
       {"Line 1: cannot be placed: an extended linear address record (type 04) of value 0001",
        "Line 2: cannot be placed: an S1 record (16-bit address)",
        "Verify: not possible: its S-record lines", "2 records that cannot be placed: the file has faults.\n"}},
      // A second image after the end record is sent as the radio tools always sent it.
      {"746-joined.ruf", records + ":0400040001020304EE\r\n:00000001FF\r\n", 0,
       {"Line 4: warning: a record after the end record of line 3", "Verify: possible\n",
        "1 warning: no fault found.\n"}},
      {"797-text.ruf", records, 0, {"Verify: not possible: a Model 797 takes its lines as text"}},
  };
  for (const auto& file : files) {
    const FileCheckResult result = CheckRufFile(dir.Write(file.name, file.content));
    EXPECT_EQ(result.exitStatus, file.status) << file.name << "\n" << result.report;
    for (const std::string& part : file.parts) {
      EXPECT_NE(result.report.find(part), std::string::npos) << file.name << " lacks " << part << "\n" << result.report;
    }
  }
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
