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

TEST(FileCheck, ASoundFileHasNoFaultAndExitStatus0) {
  TempDir dir;
  const std::string path = dir.Write(
      "746-good.ruf", std::string("#VER 2.00\r\n:020000020000FC\r\n") + kGoodRecord + ":00000001FF\r\n");
  const FileCheckResult result = CheckRufFile(path);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.report.find("Data lines: 3\n"), std::string::npos);
  EXPECT_NE(result.report.find("Summary: 3 data lines, 0 wrong checksums, 0 format faults, 0 lines "
                               "of no defined kind: no fault found.\n"),
            std::string::npos);
}

TEST(FileCheck, AChecksumErrorAloneIsAFault) {
  TempDir dir;
  const FileCheckResult result = CheckRufFile(dir.Write("746-x.ruf", kWrongChecksumRecord));
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.report.find("Line 1: wrong checksum: checksum BF written, BE computed\n"),
            std::string::npos);
}

TEST(FileCheck, SaysWhenTheNameGivesNoModelCodeAndTheFileNoDataLines) {
  TempDir dir;
  const FileCheckResult result = CheckRufFile(dir.Write("demo.ruf", ";only a comment\n"));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.report.find("Model code from the file name: 0 (the name does not begin with a "
                               "three-digit model code: \"dem\")\n"),
            std::string::npos);
  EXPECT_NE(result.report.find("Note: the file holds no data lines.\n"), std::string::npos);
}

TEST(FileCheck, AFileThatCannotBeOpenedGivesExitStatus4) {
  TempDir dir;
  const FileCheckResult missing = CheckRufFile(dir.File("746-none.ruf"));
  EXPECT_EQ(missing.exitStatus, 4);
  EXPECT_EQ(missing.error, "cannot open " + dir.File("746-none.ruf") + ": No such file or directory");
  EXPECT_EQ(missing.report, "");
  const FileCheckResult directory = CheckRufFile(dir.path());
  EXPECT_EQ(directory.exitStatus, 4);
  EXPECT_EQ(directory.error, "cannot open " + dir.path() + ": it is a directory");
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

TEST(CheckCommand, PrintsTheReportAndExitsWith1ForAFaultyFile) {
  TempDir dir;
  const std::string path = dir.Write("746-faulty.ruf", FaultyFile());
  test::ChildProcess tool(Tool({"check", path}));
  EXPECT_EQ(tool.Wait(10s), 1);
  EXPECT_NE(tool.out().find("Line 6: wrong checksum: checksum BF written, BE computed\n"),
            std::string::npos)
      << tool.out();
  EXPECT_NE(tool.out().find("Line 8: breaks the format: "), std::string::npos);
  EXPECT_EQ(tool.err(), "");
}

TEST(CheckCommand, ExitsWith0ForTheExampleFileAnd4ForAMissingOne) {
  test::ChildProcess good(Tool({"check", EXAMPLES_DIR "/746-demo.ruf"}));
  EXPECT_EQ(good.Wait(10s), 0);
  EXPECT_NE(good.out().find("Model code from the file name: 746\nData lines: 131\n"),
            std::string::npos)
      << good.out();
  test::ChildProcess missing(Tool({"check", "/nonexistent/746-x.ruf"}));
  EXPECT_EQ(missing.Wait(10s), 4);
  EXPECT_EQ(missing.err(),
            "flash-update-cli: cannot open /nonexistent/746-x.ruf: No such file or directory\n");
}

}  // namespace
}  // namespace flash
