#include <gtest/gtest.h>

#include "engine/ruf_reader.h"
#include "engine/ruf_records.h"
#include "engine/ruf_survey.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

std::vector<std::pair<std::string, bool>> ReadAll(const std::string& path) {
  RufReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::vector<std::pair<std::string, bool>> pieces;
  std::string line;
  bool continuation = false;
  while (reader.ReadLine(line, continuation)) pieces.emplace_back(line, continuation);
  return pieces;
}

TEST(RufReader, KeepsLineEndingsAndReadsLfFilesLikeCrLfFiles) {
  test::TempDir dir;
  auto pieces = ReadAll(dir.Write("a.ruf", ":00000001FF\r\n;x\n#M 746"));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].first, ":00000001FF\r\n");
  EXPECT_EQ(pieces[1].first, ";x\n");
  EXPECT_EQ(pieces[2].first, "#M 746");
}

TEST(RufReader, SplitsALineOfMoreThan254CharactersIntoPieces) {
  test::TempDir dir;
  // 121 data bytes with CR LF make 255 characters: two pieces, the second only LF.
  std::string record = ":79000000" + std::string(242, 'A') + "00\r\n";
  ASSERT_EQ(record.size(), 255u);
  auto pieces = ReadAll(dir.Write("a.ruf", record + ";next\r\n"));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].first.size(), 254u);
  EXPECT_FALSE(pieces[0].second);
  EXPECT_EQ(pieces[1].first, "\n");
  EXPECT_TRUE(pieces[1].second);
  EXPECT_EQ(pieces[2].first, ";next\r\n");
  EXPECT_FALSE(pieces[2].second);
  EXPECT_EQ(ClassifyLine(pieces[1].first, pieces[1].second), LineKind::Undefined);
}

TEST(RufReader, ASecondPieceThatLooksLikeARecordIsNoRecord) {
  EXPECT_EQ(ClassifyLine(":0300300002337A1E\r\n", true), LineKind::Undefined);
  EXPECT_EQ(ClassifyLine(":0300300002337A1E\r\n", false), LineKind::IntelHex);
}

TEST(RufReader, ClassifiesEveryLineKindByItsFirstCharacters) {
  EXPECT_EQ(ClassifyLine("S1130000", false), LineKind::SRecord);
  EXPECT_EQ(ClassifyLine(";comment", false), LineKind::Comment);
  EXPECT_EQ(ClassifyLine("#>text", false), LineKind::PassThrough);
  EXPECT_EQ(ClassifyLine("#E010203", false), LineKind::EDirective);
  EXPECT_EQ(ClassifyLine("#G01020304", false), LineKind::GDirective);
  EXPECT_EQ(ClassifyLine("#M Banwick", false), LineKind::ModelHeader);
  EXPECT_EQ(ClassifyLine("#UNLOCKBOOT", false), LineKind::Unlock);
  EXPECT_EQ(ClassifyLine("#V   1.0", false), LineKind::FormatHeader);
  EXPECT_EQ(ClassifyLine("#X", false), LineKind::Undefined);
  EXPECT_EQ(ClassifyLine("#", false), LineKind::Undefined);
  EXPECT_EQ(ClassifyLine("\r\n", false), LineKind::Undefined);
  EXPECT_EQ(ClassifyLine("s1130000", false), LineKind::Undefined);
}

TEST(RufReader, ReadsIntelHexFieldsAndTheTwosComplementChecksum) {
  IntelRecord r;
  ASSERT_EQ(ParseIntelHex(":0300300002337A1E\r\n", r), "");
  EXPECT_EQ(r.byteCount, 3);
  EXPECT_EQ(r.addressHigh, 0x00);
  EXPECT_EQ(r.addressLow, 0x30);
  EXPECT_EQ(r.recordType, 0x00);
  EXPECT_EQ(r.data[0], 0x02);
  EXPECT_EQ(r.data[2], 0x7A);
  EXPECT_EQ(r.lineChecksum, 0x1E);
  EXPECT_EQ(r.calcChecksum, 0x1E);
  ASSERT_EQ(ParseIntelHex(":0300300002337a1f", r), "");
  EXPECT_EQ(r.calcChecksum, 0x1E);
  EXPECT_EQ(r.lineChecksum, 0x1F);
}

TEST(RufReader, ReadsSRecordFieldsAndTheOnesComplementChecksum) {
  SRecord r;
  // S1 13 0000 then 16 data bytes: the classic example with checksum 0x2B... built here.
  ASSERT_EQ(ParseSRecord("S30800001000AABBCCB6\r\n", r), "");
  EXPECT_EQ(r.recordType, 3);
  EXPECT_EQ(r.byteCount, 8);
  EXPECT_EQ(r.body[3], 0x00);
  EXPECT_EQ(r.body[4], 0xAA);
  unsigned sum = 0x08 + 0x00 + 0x00 + 0x10 + 0x00 + 0xAA + 0xBB + 0xCC;
  EXPECT_EQ(r.calcChecksum, static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
  EXPECT_EQ(r.lineChecksum, 0xB6);
}

TEST(RufReader, NamesTheColumnOfAFormatFault) {
  IntelRecord r;
  EXPECT_NE(ParseIntelHex(":03003000023G7A1E", r).find("column 12"), std::string::npos);
  EXPECT_NE(ParseIntelHex(":1000300002\r\n", r).find("needs 43 characters"), std::string::npos);
  EXPECT_NE(ParseIntelHex(":", r), "");
  SRecord s;
  EXPECT_NE(ParseSRecord("S3", s), "");
  EXPECT_NE(ParseSRecord("SZ05", s), "");
  std::uint8_t bytes[4];
  EXPECT_NE(ParseDirectiveBytes("#E01", 3, bytes), "");
  EXPECT_EQ(ParseDirectiveBytes("#E0102FF", 3, bytes), "");
  EXPECT_EQ(bytes[2], 0xFF);
}

TEST(RufReader, CountsDataLinesAndFindsFaultsWithTheirLineNumbers) {
  test::TempDir dir;
  const std::string path = dir.Write("746x.ruf",
                                     "#V   1.0\r\n"
                                     ";comment\r\n"
                                     ":0300300002337A1E\r\n"
                                     ":0300300002337A1F\r\n"   // wrong checksum, line 4
                                     "S0030000FC\r\n"         // not counted
                                     "S30800001000AABBCCB6\r\n"
                                     "\r\n"                   // no kind, line 7
                                     ":03003000Z2337A1E\r\n"  // format fault, line 8
                                     "S70500000000FA\r\n");   // not counted
  RufSurvey survey = SurveyRufFile(path);
  ASSERT_TRUE(survey.opened);
  EXPECT_EQ(survey.dataLines, 4);
  ASSERT_EQ(survey.checksumErrorCount, 1);
  EXPECT_EQ(survey.checksumErrors[0].lineNumber, 4);
  EXPECT_EQ(survey.checksumErrors[0].text, "checksum 1F written, 1E computed");
  ASSERT_EQ(survey.formatFaultCount, 1);
  EXPECT_EQ(survey.formatFaults[0].lineNumber, 8);
  ASSERT_EQ(survey.undefinedLineCount, 1);
  EXPECT_EQ(survey.undefinedLines[0].lineNumber, 7);
}

// Files that would send something other than what they hold, or nothing at all:
// each is refused with its first fault.
TEST(RufReader, RefusesFilesWhoseLinesAreNotWhatTheySeem) {
  std::string random(4096, '\0');
  std::uint32_t seed = 12345;
  for (char& c : random) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
  struct Case {
    const char* name;
    std::string content;
    int line;  // 0: a fault of the whole file
    const char* fault;
  } cases[] = {
      {"carriage-return line ends", ":0300300002337A1E\r:0300300002337A1E\r:00000001FF\r", 1,
       "text after the record's checksum (carriage-return line ends?)"},
      {"one bare CR in a CR LF file", ":0300300002337A1E\r\n;note\r:0300300002337A1E\r\n", 2,
       "carriage return at column 5 inside the line"},
      {"a header swallowing S-records", "S0030000FC\rS30800001000AABBCCB6\r", 1,
       "carriage return at column 10"},
      {"text after the checksum", ":0300300002337A1E ;x\r\n", 1,
       "text after the record's checksum at column 18"},
      {"UTF-16 with its mark", std::string("\xFF\xFE:\0" "0\0", 6), 0, "UTF-16"},
      {"UTF-16 without a mark", std::string(":\0" "0\0" "3\0\r\0\n\0", 10), 1, "NUL byte"},
      {"an empty file", "", 0, "holds no records"},
      {"spaces only", "   \r\n \t \n", 0, "holds no records"},
      {"random bytes", random, -1, ""},
      {"a record after the Intel end", ":00000001FF\r\n:0300300002337A1E\r\n", 2,
       "a record after the end record of line 1"},
      {"a record after S9", "S30800001000AABBCCB6\r\nS9030000FC\r\nS30800001000AABBCCB6\r\n", 3,
       "a record after the end record of line 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RufSurvey survey = SurveyRufBytes(c.content);
    EXPECT_TRUE(survey.refused());
    if (c.line < 0) continue;
    const std::string fault = c.line == 0 ? survey.fileFault
                              : survey.formatFaults.empty() ? std::string()
                                                            : survey.formatFaults[0].text;
    EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    if (c.line > 0 && !survey.formatFaults.empty()) {
      EXPECT_EQ(survey.formatFaults[0].lineNumber, c.line);
    }
  }
}

TEST(RufReader, PassesOverAUtf8ByteOrderMark) {
  const std::string record = ":0300300002337A1E\r\n";
  const RufSurvey survey = SurveyRufBytes("\xEF\xBB\xBF" + record);
  EXPECT_FALSE(survey.refused());
  EXPECT_EQ(survey.dataLines, 1);
  RufReader reader;
  reader.OpenBytes("\xEF\xBB\xBF" + record);
  std::string line;
  bool continuation = false;
  ASSERT_TRUE(reader.ReadLine(line, continuation));
  EXPECT_EQ(line, record);
}

// Records the file holds but that never reach the radio as written are named,
// and the file is still sent.
TEST(RufReader, WarnsOfRecordsThatDoNotReachTheRadioAsWritten) {
  struct Case {
    const char* name;
    const char* content;
    int warningLine;  // 0: no warning
    int dataLinesReached;
  } cases[] = {
      {"type 04 with a value", ":020000040001F9\r\n:0300300002337A1E\r\n", 1, 2},
      {"type 04 of 0", ":020000040000FA\r\n:0300300002337A1E\r\n", 0, 2},
      {"an S1 record", "S1050000AABB95\r\nS30800001000AABBCCB6\r\n", 1, 2},
      {"an S2 record before more lines", "S2060000001122C6\r\nS30800001000AABBCCB6\r\n", 1, 1},
      {"an S9 at the end", "S30800001000AABBCCB6\r\nS9030000FC\r\n", 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RufSurvey survey = SurveyRufBytes(c.content);
    EXPECT_FALSE(survey.refused());
    EXPECT_EQ(survey.dataLinesReached, c.dataLinesReached);
    if (c.warningLine == 0) {
      EXPECT_EQ(survey.warningCount, 0);
    } else {
      ASSERT_EQ(survey.warningCount, 1);
      EXPECT_EQ(survey.warnings[0].lineNumber, c.warningLine);
    }
  }
}

TEST(RufReader, AMissingFileIsReportedAsNotOpened) {
  EXPECT_FALSE(SurveyRufFile("/nonexistent/dir/712.ruf").opened);
}

TEST(RufReader, TakesTheModelCodeFromTheNameOnlyAsAtoiReadsIt) {
  EXPECT_EQ(ModelPrefixOf("/some/999dir/712abc.ruf"), "712");
  EXPECT_EQ(ModelCodeOf(ModelPrefixOf("/x/712abc.ruf")), 712);
  EXPECT_EQ(ModelCodeOf(ModelPrefixOf("/x/71.ruf")), 71);
  EXPECT_EQ(ModelCodeOf(ModelPrefixOf("/x/abc.ruf")), 0);
  EXPECT_EQ(ModelCodeOf(ModelPrefixOf("/x/7a")), 7);
  EXPECT_EQ(ModelPrefixOf("ab"), "ab");
}

}  // namespace
}  // namespace flash
