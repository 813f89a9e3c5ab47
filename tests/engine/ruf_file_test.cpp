// The pure pieces: how a RUF file is read, checked and surveyed, and how names
// become model codes and serial devices.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/number_text.h"
#include "engine/ruf_reader.h"
#include "engine/ruf_records.h"
#include "engine/ruf_survey.h"
#include "engine/serial_port_name.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"

namespace flash {
namespace {

// Each piece the reading gives with its line number ('+': it continues a line);
// long pieces by their length.
std::string Pieces(const std::string& bytes) {
  RufReader reader;
  reader.OpenBytes(bytes);
  std::string out, line;
  bool continuation = false;
  while (reader.ReadLine(line, continuation)) {
    out += Format("%d%s[%s]", reader.lineNumber(), continuation ? "+" : "",
                  line.size() > 40 ? Format("%zu chars", line.size()).c_str() : line.c_str());
  }
  return out;
}

TEST(RufFile, IsReadInPiecesOfAtMost254CharactersThatKeepTheirLineEndings) {
  const std::string record121 = ":79000000" + std::string(242, 'A') + "00\r\n";  // 255 characters
  const std::string comment254 = ";" + std::string(251, 'x') + "\r\n";
  EXPECT_EQ(Pieces(":00000001FF\r\n;x\n#M 746"), "1[:00000001FF\r\n]2[;x\n]3[#M 746]");
  EXPECT_EQ(Pieces(record121 + ";next\r\n"), "1[254 chars]1+[\n]2[;next\r\n]");
  EXPECT_EQ(Pieces(comment254 + comment254), "1[254 chars]2[254 chars]");
  EXPECT_EQ(Pieces("\xEF\xBB\xBF:00000001FF\n"), "1[:00000001FF\n]");
  EXPECT_EQ(ClassifyLine("\n", true), LineKind::Undefined);
  EXPECT_EQ(ClassifyLine(":0300300002337A1E\r\n", true), LineKind::Undefined);
}

// Intel HEX sums to zero with its two's complement checksum; an S-record's is the
// one's complement of its sum. The first lines are the formats' published examples.
TEST(RufFile, ReadsRecordFieldsAtTheirColumnsAndComputesEachFormsChecksum) {
  // Each line's format fault, or its computed and its written checksum.
  const std::pair<const char*, const char*> cases[] = {
      {":10010000214601360121470136007EFE09D2190140\r\n", "40 40"},
      {"S1130000285F245F2212226A000424290008237C2A\r\n", "2A 2A"},
      {":0300300002337a1f\n", "1E 1F"},
      {"S30800001000AABBCCB7", "B6 B7"},
      {"S9030000FC", "FC FC"},
      {":03003000023G7A1E", "data: 'G' at column 12 is not a hex digit"},
      {":1000300002\r\n", "record of 16 data bytes needs 43 characters, the line has 11"},
      {":800000", "byte count 128 is more than a line can hold"},
      {":0300300002337A1E ;x", "text after the record's checksum at column 18"},
      {"S30800001000AABBCC", "record with byte count 8 needs 20 characters, the line has 18"},
      {"S3", "byte count: line ends at column 2, a hex digit was expected"},
      {"SZ05", "the record type after 'S' is not a hex digit"},
      {"#E01", "line ends at column 4, a hex digit was expected"},
      {"#G0102030G", "'G' at column 9 is not a hex digit"},
  };
  for (const auto& [line, expected] : cases) {
    IntelRecord intel;
    SRecord s;
    std::uint8_t directive[4];
    std::string fault;
    if (line[0] == ':') {
      fault = ParseIntelHex(line, intel);
      s.calcChecksum = intel.calcChecksum;
      s.lineChecksum = intel.lineChecksum;
    } else if (line[0] == 'S') {
      fault = ParseSRecord(line, s);
    } else {
      fault = ParseDirectiveBytes(line, line[1] == 'E' ? 3 : 4, directive);
    }
    EXPECT_EQ(fault.empty() ? Format("%02X %02X", s.calcChecksum, s.lineChecksum) : fault, expected)
        << line;
  }
}

// data lines/lines the sending reaches, then each finding with its line: F a format
// fault, C a wrong checksum, U a line of no kind, W a warning; "file:" a fault of the whole.
std::string Summary(const RufSurvey& survey) {
  std::string out = Format("%d/%d", survey.dataLines, survey.dataLinesReached);
  if (!survey.fileFault.empty()) out += " file: " + survey.fileFault;
  for (const auto& f : survey.formatFaults) out += Format(" F%d: ", f.lineNumber) + f.text;
  for (const auto& f : survey.checksumErrors) out += Format(" C%d: ", f.lineNumber) + f.text;
  for (const auto& f : survey.undefinedLines) out += Format(" U%d", f.lineNumber);
  for (const auto& f : survey.warnings) out += Format(" W%d", f.lineNumber);
  return out;
}

TEST(RufFile, SurveyCountsDataLinesAndNamesEachFindingWithItsLine) {
  const struct {
    std::string content;
    const char* summary;
  } cases[] = {
      {"#V   1.0\r\n;comment\r\n:0300300002337A1E\r\n:0300300002337A1F\r\nS0030000FC\r\n"
       "S30800001000AABBCCB6\r\n\r\n:03003000Z2337A1E\r\nS70500000000FA\r\n",
       "4/4 F8: data: 'Z' at column 9 is not a hex digit C4: checksum 1F written, 1E computed U7"},
      {"S30800001000AABBCCB7\r\nS9030000FC\r\n", "2/2 C1: checksum B7 written, B6 computed"},
      {"\xEF\xBB\xBF:0300300002337A1E\r\n", "1/1"},
      {"#>MODE 3\r\n", "0/0"},
      // Records that do not reach the radio as written are named; the file is still sent.
      {":020000040001F9\r\n:0300300002337A1E\r\n", "2/2 W1"},
      {":020000040000FA\r\n:0300300002337A1E\r\n", "2/2"},
      {"S1050000AABB95\r\nS30800001000AABBCCB6\r\n", "2/2 W1"},
      {"S2060000001122C6\r\nS30800001000AABBCCB6\r\n", "2/1 W1"},
      // Files that would send something other than what they hold, or nothing at all.
      {":0300300002337A1E\r:0300300002337A1E\r:00000001FF\r",
       "1/1 F1: text after the record's checksum (carriage-return line ends?)"},
      {":0300300002337A1E\r\n;note\r:0300300002337A1E\r\n",
       "1/1 F2: carriage return at column 5 inside the line (carriage-return line ends?)"},
      {"S0030000FC\rS30800001000AABBCCB6\r",
       "0/0 F1: carriage return at column 10 inside the line (carriage-return line ends?)"},
      {std::string("\xFF\xFE:\0" "0\0", 6), "0/0 file: it is in UTF-16: save it as plain text"},
      {std::string(":\0" "0\0\n\0", 6),
       "1/1 F1: NUL byte at column 1: the file is not plain text (UTF-16?) F2: NUL byte at "
       "column 0: the file is not plain text (UTF-16?) U2"},
      {"", "0/0 file: it holds no records"},
      {"   \r\n \t \n", "0/0 file: it holds no records U1 U2"},
      {":00000001FF\r\n:0300300002337A1E\r\n", "2/2 F2: a record after the end record of line 1"},
      {"S30800001000AABBCCB6\r\nS9030000FC\r\nS30800001000AABBCCB6\r\n",
       "3/2 F3: a record after the end record of line 2 W2"},
  };
  for (const auto& c : cases) {
    const RufSurvey survey = SurveyRufBytes(c.content);
    EXPECT_EQ(Summary(survey), c.summary);
    const std::string summary = c.summary;
    EXPECT_EQ(survey.refused(), summary.find(" F") != summary.npos || summary.find("file:") != summary.npos)
        << summary;
  }
  std::string random(4096, '\0');
  std::uint32_t seed = 12345;
  for (char& c : random) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
  EXPECT_TRUE(SurveyRufBytes(random).refused());
  EXPECT_FALSE(SurveyRufFile("/nonexistent/712.ruf").opened);
}

TEST(RufFile, NamesGiveModelCodesAndSerialDevicesAsAUserWritesThem) {
  const std::pair<const char*, int> codes[] = {
      {"/some/999dir/712abc.ruf", 712}, {"/x/71.ruf", 71}, {"/x/abc.ruf", 0}, {"7a", 7}, {"+12.ruf", 12}};
  for (const auto& [path, code] : codes) EXPECT_EQ(ModelCodeOf(ModelPrefixOf(path)), code) << path;
  const std::string here = std::filesystem::current_path().string();
  const std::pair<const char*, std::string> devices[] = {
      {"COM1", "/dev/ttyS0"}, {"com15", "/dev/ttyS14"}, {"COM0", "/dev/COM0"},
      {"ttyUSB0", "/dev/ttyUSB0"}, {"/dev/pts/3", "/dev/pts/3"}};
  for (const auto& [port, device] : devices) EXPECT_EQ(SerialDeviceName(port), device) << port;
  EXPECT_EQ(PortSettingFor("COM3"), "COM3");
  EXPECT_EQ(PortSettingFor("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(PortSettingFor("a/../radio-tty"), here + "/radio-tty");
  // A number typed by a user is all digits, within its range.
  const std::pair<const char*, std::optional<std::int32_t>> typed[] = {
      {"49152", 49152}, {"0", 0}, {"65535", 65535}, {"65536", {}}, {"-1", {}}, {"12x", {}},
      {"+5", {}}, {" 5", {}}, {"", {}}};
  for (const auto& [text, value] : typed) EXPECT_EQ(ReadWholeDecimal(text, 0, 65535), value) << text;
  EXPECT_EQ(ReadWholeDecimal("-3", -5, 5), -3);
  EXPECT_EQ(ToggledErrorSwitch(1), 0);
  EXPECT_EQ(ToggledErrorSwitch(0), 1);
  EXPECT_EQ(ToggledErrorSwitch(5), 1);
}

}  // namespace
}  // namespace flash
