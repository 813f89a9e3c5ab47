#include "cli/file_check.h"

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using test::TempDir;
using namespace std::chrono_literals;

constexpr char kGoodRecord[] = ":1000000051563734362044454D4F204649524D57BE\r\n";
// The same record with its checksum byte one too high.
constexpr char kWrongChecksumRecord[] = ":1000000051563734362044454D4F204649524D57BF\r\n";

std::string FaultyFile() {
  return std::string("#VER 2.00\r\n") +  // 1
         "#MModel QV746\r\n" +            // 2
         ";a comment\r\n" +               // 3
         ":020000020000FC\r\n" +          // 4
         kGoodRecord +                    // 5
         kWrongChecksumRecord +           // 6
         "\r\n" +                         // 7
         ":10000G0051563734362044454D4F204649524D57BE\r\n" +  // 8
         "hello\r\n" +                    // 9
         ":00000001FF\r\n";               // 10
}

TEST(FileCheck, ReportsTheLineOfAWrongChecksumAndOfAMalformedRecord) {
  TempDir dir;
  const std::string path = dir.Write("746-faulty.ruf", FaultyFile());
  const FileCheckResult result = CheckRufFile(path);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.report,
            "File: " + path + "\n"
            "Model code from the file name: 746\n"
            "Data lines: 5\n"
            "Line 6: wrong checksum: checksum BF written, BE computed\n"
            "Line 7: no defined kind: blank line\n"
            "Line 8: breaks the format: address: 'G' at column 6 is not a hex digit\n"
            "Line 9: no defined kind: no line kind begins with 'h'\n"
            "Summary: 5 data lines, 1 wrong checksum, 1 format fault, 2 lines of no defined "
            "kind: the file has faults.\n");
}

TEST(FileCheck, SaysWhenTheNameGivesNoModelCodeAndTheFileNoRecords) {
  TempDir dir;
  const FileCheckResult result = CheckRufFile(dir.Write("demo.ruf", ";only a comment\n"));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.report.find("Model code from the file name: 0 (the name does not begin with a "
                               "three-digit model code: \"dem\")\n"),
            std::string::npos);
  EXPECT_NE(result.report.find("The file cannot be sent: it holds no records.\n"),
            std::string::npos);
}

TEST(FileCheck, ListsAtMostAHundredFindingsOfAKindAndCountsTheRest) {
  TempDir dir;
  std::string content;
  for (int i = 0; i < 150; ++i) content += kWrongChecksumRecord;
  const FileCheckResult result = CheckRufFile(dir.Write("746-many.ruf", content));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.report.find("Line 100: wrong checksum"), std::string::npos);
  EXPECT_EQ(result.report.find("Line 101: wrong checksum"), std::string::npos);
  EXPECT_NE(result.report.find("... 50 more wrong checksums not listed\n"), std::string::npos);
  EXPECT_NE(result.report.find("150 wrong checksums"), std::string::npos);
}

test::ChildOptions Tool(std::vector<std::string> arguments) {
  test::ChildOptions options;
  options.argv.push_back(FLASH_UPDATE_CLI_PATH);
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  return options;
}

TEST(CheckCommand, ExitsWith0ForASoundFile1ForFaultsAnd4ForAFileItCannotOpen) {
  TempDir dir;
  const std::string faulty = dir.Write("746-faulty.ruf", FaultyFile());
  struct Case {
    std::string file;
    int status;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {EXAMPLES_DIR "/746-demo.ruf", 0,
       "Model code from the file name: 746\nData lines: 131\n", ""},
      {faulty, 1, "Line 6: wrong checksum: checksum BF written, BE computed\n", ""},
      {dir.File("746-none.ruf"), 4, "",
       "flash-update-cli: cannot open " + dir.File("746-none.ruf") + ": No such file or directory\n"},
      {dir.path(), 4, "", "flash-update-cli: cannot open " + dir.path() + ": it is a directory\n"},
  };
  for (const Case& c : cases) {
    test::ChildProcess tool(Tool({"check", c.file}));
    EXPECT_EQ(tool.Wait(10s), c.status) << c.file;
    EXPECT_NE(tool.out().find(c.out), std::string::npos) << tool.out();
    EXPECT_EQ(tool.err(), c.err);
  }
}

}  // namespace
}  // namespace flash
