// The engine's pure pieces in tables, then operations driven by events: a host on a
// virtual clock and a scripted radio. V is the identification answer of a 746, R its
// "READY", Q the question "?V\r" and Z the start command "ZZ\r".
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "engine/number_text.h"
#include "engine/ruf_records.h"
#include "engine/ruf_survey.h"
#include "engine/serial_port_name.h"
#include "tests/support/engine_rig.h"

namespace flash::test {
namespace {

using std::chrono::milliseconds;
using Writes = std::vector<std::string>;
using Outcomes = std::vector<OperationOutcome>;
using Dialogs = std::vector<DialogId>;
using D = DialogId;
using O = OperationOutcome;
constexpr auto npos = std::string::npos;
constexpr auto kProgram = OperationMode::Program;
constexpr auto kVerify = OperationMode::Verify;
constexpr auto kTest = OperationMode::Test;
const std::string V = "VER 1234 746\r", R = "READY\r", Q = "?V\r", Z = "ZZ\r";
const std::string kRecord = ":0300300002337A1E\r\n";
const std::string kFrame = Hex("42 03 00 30 00 02 33 7A 1E 0D");
const std::string kSecondRecord = ":0300400002337A0E\r\n";
const std::string kSecondFrame = Hex("42 03 00 40 00 02 33 7A 0E 0D");

// Each piece read with its line number ('+': it continues a line); long ones by length.
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
  EXPECT_EQ(ClassifyLine(":0300300002337A1E\r\n", true), LineKind::Undefined);
}

// Each line's format fault, or its computed and written checksum: Intel HEX takes the two's
// complement of the sum, S-records the one's. The first two are the formats' own examples.
TEST(RufFile, ReadsRecordFieldsAtTheirColumnsAndComputesEachFormsChecksum) {
  const std::string intelPieces =
      " and lines are read in pieces of at most 254: a record holds at most 121 data bytes";
  const std::pair<std::string, std::string> cases[] = {
      {":10010000214601360121470136007EFE09D2190140\r\n", "40 40"},
      {"S1130000285F245F2212226A000424290008237C2A\r\n", "2A 2A"},
      {":0300300002337a1f\n", "1E 1F"},
      {"S30800001000AABBCCB7", "B6 B7"},
      {"S9030000FC", "FC FC"},
      {":03003000023G7A1E", "data: 'G' at column 12 is not a hex digit"},
      {":1000300002\r\n", "record of 16 data bytes needs 43 characters, the line has 11"},
      // The longest records a read of 254 characters holds whole, and the first piece of
      // a longer one.
      {":79000000" + std::string(242, 'A') + "2D\r\n", "2D 2D"},
      {"S37D00000000" + std::string(240, 'A') + "D2\r\n", "D2 D2"},
      {(":7A000000" + std::string(244, 'A') + "00\r\n").substr(0, 254),
       "a record of 122 data bytes needs 255 characters," + intelPieces},
      {":800000", "a record of 128 data bytes needs 267 characters," + intelPieces},
      {"S37E00000000", "a record with byte count 126 needs 256 characters, and lines are read in "
                       "pieces of at most 254: the byte count is at most 125 (120 data bytes after "
                       "an S3 record's address)"},
      {":0300300002337A1E ;x", "text after the record's checksum at column 18"},
      {"S30800001000AABBCC", "record with byte count 8 needs 20 characters, the line has 18"},
      {"S3", "byte count: line ends at column 2, a hex digit was expected"},
      {"SZ05", "the record type after 'S' is not a hex digit"},
      {"#E01", "line ends at column 4, a hex digit was expected"},
      {"#G0102030G", "'G' at column 9 is not a hex digit"},
  };
  for (const auto& [line, expected] : cases) {
    IntelRecord i;
    SRecord s;
    std::uint8_t d[4];
    const std::string fault = line[0] == ':'   ? ParseIntelHex(line, i)
                              : line[0] == 'S' ? ParseSRecord(line, s)
                                               : ParseDirectiveBytes(line, 3 + (line[1] == 'G'), d);
    const auto sums = line[0] == ':' ? Format("%02X %02X", i.calcChecksum, i.lineChecksum)
                                     : Format("%02X %02X", s.calcChecksum, s.lineChecksum);
    EXPECT_EQ(fault.empty() ? sums : fault, expected) << line;
  }
}

// Data lines/those the sending reaches, then each finding with its line: F a format
// fault, C a wrong checksum, P data the radio cannot place, U a line of no kind, W a
// warning, M a model a model line names; "file:" a fault of the whole.
std::string Summary(const RufSurvey& survey) {
  std::string out = Format("%d/%d", survey.dataLines, survey.dataLinesReached);
  if (!survey.fileFault.empty()) out += " file: " + survey.fileFault;
  for (const auto& f : survey.formatFaults) out += Format(" F%d: ", f.lineNumber) + f.text;
  for (const auto& f : survey.checksumErrors) out += Format(" C%d: ", f.lineNumber) + f.text;
  for (const auto& f : survey.unplaceable) out += Format(" P%d", f.lineNumber);
  for (const auto& f : survey.undefinedLines) out += Format(" U%d", f.lineNumber);
  for (const auto& f : survey.warnings) out += Format(" W%d", f.lineNumber);
  for (const int code : survey.modelCodesNamed) out += Format(" M%d", code);
  return out;
}

TEST(RufFile, SurveyCountsDataLinesAndNamesEachFindingWithItsLine) {
  const std::pair<std::string, std::string> cases[] = {
      {"#V   1.0\r\n;comment\r\n:0300300002337A1E\r\n:0300300002337A1F\r\nS0030000FC\r\n"
       "S30800001000AABBCCB6\r\n\r\n:03003000Z2337A1E\r\nS70500000000FA\r\n",
       "4/4 F8: data: 'Z' at column 9 is not a hex digit C4: checksum 1F written, 1E computed U7"},
      {"S30800001000AABBCCB7\r\nS9030000FC\r\n", "2/2 C1: checksum B7 written, B6 computed"},
      {"\xEF\xBB\xBF:0300300002337A1E\r\n", "1/1"},
      {"#>MODE 3\r\n", "0/0"},
      // Data the radio would place elsewhere than the file says: type 04 with a value
      // (one of 0 changes nothing), S1 and S2 records, S-record types of no meaning.
      {":020000040001F9\r\n:0300300002337A1E\r\n", "2/2 P1"},
      {":020000040000FA\r\n:0300300002337A1E\r\n", "2/2"},
      {":020000021000EC\r\n:00000001FF\r\n",
       "2/2 file: it holds no data records and nothing else to send"},
      {"S1050000AABB95\r\nS30800001000AABBCCB6\r\n", "2/2 P1"},
      {"S1050000AABB95\r\nS9030000FC\r\n", "2/2 P1"},  // told why, not that nothing is left
      {"S2060000001122C6\r\nS30800001000AABBCCB6\r\n", "2/2 P1"},
      {"S30800001000AABBCCB6\r\nS4030000FC\r\n", "2/2 P2"},
      // Joined images: the reading goes on after an Intel end record or an S7 line, with
      // a warning at the first record after each; S5 and S7 after an S3 are a normal end.
      {":00000001FF\r\n:0300300002337A1E\r\n:00000001FF\r\n:0300300002337A1E\r\n",
       "4/4 W2 W4"},
      {"S30800001000AABBCCB6\r\nS70500000000FA\r\nS30800001000AABBCCB6\r\n", "2/2 W3"},
      {"S30800001000AABBCCB6\r\nS5030001FB\r\nS70500000000FA\r\n", "2/2"},
      {"S30800001000AABBCCB6\r\nS604000001FA\r\nS70500000000FA\r\n", "2/2"},
      {"#MModel QV746 (not a 12 or 1234)\r\n#MFennic 2 784\r\n" + kRecord, "1/1 M746 M784"},
      // A record of the longest kind leaves its line end to a piece of its own; a piece
      // with text is a line too long.
      {":79000000" + std::string(242, 'A') + "2D\r\n;" + std::string(254, 'x') + "\r\n", "1/1 U2"},
      // Files that would send something other than what they hold, or nothing at all.
      {":0300300002337A1E\r:0300300002337A1E\r:00000001FF\r",
       "1/1 F1: text after the record's checksum (carriage-return line ends?)"},
      {":0300300002337A1E\r\n;note\r:0300300002337A1E\r\n",
       "1/1 F2: carriage return at column 5 inside the line (carriage-return line ends?)"},
      {"S0030000FC\rS30800001000AABBCCB6\r",
       "0/0 F1: carriage return at column 10 inside the line (carriage-return line ends?)"},
      {std::string("\xFF\xFE:\0" "0\0", 6), "0/0 file: it is in UTF-16: save it as plain text"},
      {std::string(":\0" "0\0\n", 5), "1/1 F1: NUL byte at column 1: the file is not plain text "
                                       "(UTF-16?)"},
      {"", "0/0 file: it holds no records"},
      {"   \r\n \t \n", "0/0 file: it holds no records U1 U2"},
      {":00000001FF\r\n", "1/1 file: it holds no data records and nothing else to send"},
      // After an S5, S8 or S9 nothing is read: what would be sent there is refused.
      {"S30800001000AABBCCB6\r\nS9030000FC\r\nS30800001000AABBCCB6\r\n",
       "3/2 F3: a record after the end record of line 2"},
      {"S30800001000AABBCCB6\r\nS9030000FC\r\n#E010203\r\n;fine\r\nS70500000000FA\r\n",
       "2/2 F3: a directive after the end record of line 2"},
  };
  for (const auto& [content, summary] : cases) {
    const RufSurvey survey = SurveyRufBytes(content);
    EXPECT_EQ(Summary(survey), summary);
    EXPECT_EQ(survey.refused(), summary.find(" F") != npos || summary.find(" C") != npos ||
                                    summary.find(" P") != npos || summary.find("file:") != npos);
  }
  // A model line refuses a file whose name gives another of the models it knows.
  const RufSurvey named = SurveyRufBytes("#MModel QV746\r\n" + kRecord);
  EXPECT_EQ(RefusalReason(named, "/x/746-fw.ruf"), "");
  EXPECT_EQ(RefusalReason(named, "/x/734-fw.ruf"),
            "The file /x/734-fw.ruf is not for the model its name gives: its model line (line 1, "
            "\"Model QV746\") names model 746, its name model 734.");
  EXPECT_EQ(RefusalReason(SurveyRufBytes("#MFennic\r\n" + kRecord), "/x/734-fw.ruf"), "");
  EXPECT_NE(RefusalReason(named, "/x/fw.hex").find("its name does not begin with a model's "
                                                  "three-digit code (a file for model 746 is named "
                                                  "746-...)"),
            npos);
  // What a Verify cannot prove: S-record frames and a 797's or 729's text lines.
  EXPECT_EQ(VerifyObstacle(named, 746), "");
  EXPECT_NE(VerifyObstacle(named, 797), "");
  EXPECT_NE(VerifyObstacle(named, 729), "");
  EXPECT_NE(VerifyObstacle(SurveyRufBytes("S30800001000AABBCCB6\r\n"), 746), "");
  EXPECT_FALSE(SurveyRufFile("/nonexistent/712.ruf").opened);
}

TEST(PureEngine, NamesAndNumbersAreReadAsAUserWritesThem) {
  const std::pair<const char*, int> codes[] = {
      {"/some/999dir/712abc.ruf", 712}, {"/x/71.ruf", 71}, {"/x/abc.ruf", 0}, {"+12.ruf", 12}};
  for (const auto& [path, code] : codes) EXPECT_EQ(ModelCodeOf(ModelPrefixOf(path)), code) << path;
  const std::pair<const char*, std::string> devices[] = {
      {"COM1", "/dev/ttyS0"}, {"com15", "/dev/ttyS14"}, {"COM0", "/dev/COM0"},
      {"ttyUSB0", "/dev/ttyUSB0"}, {"/dev/pts/3", "/dev/pts/3"}};
  for (const auto& [port, device] : devices) EXPECT_EQ(SerialDeviceName(port), device) << port;
  EXPECT_EQ(PortSettingFor("COM3"), "COM3");
  EXPECT_EQ(PortSettingFor("a/../tty"), std::filesystem::current_path().string() + "/tty");
  // A number typed by a user is all digits, within its range.
  const std::pair<const char*, std::optional<std::int32_t>> typed[] = {
      {"49152", 49152}, {"0", 0}, {"65535", 65535}, {"65536", {}}, {"-1", {}}, {"12x", {}},
      {"+5", {}}, {" 5", {}}, {"", {}}};
  for (const auto& [text, v] : typed) EXPECT_EQ(ReadWholeDecimal(text, 0, 65535), v) << text;
  EXPECT_EQ(ReadWholeDecimal("-3", -5, 5), -3);
}

// Operations as the user and the radio drive them: the command ('P'rogram, 'V'erify, 'T'est,
// then any error-checking value from the settings), the file, and the steps: an answer of
// the radio, "~text" for bytes without the CR that ends an answer, "+N" for N ms of
// silence, "stop" (the user stops), "verify" (a Verify command meanwhile), "again" (the
// same command anew), "!N" (the next write fails with errno N). Then what the radio
// received, the dialogs, the outcomes and a text the user saw.
TEST(EngineFlows, EachOperationGoesAsItsAnswersAndSilencesSay) {
  const std::string kEnded = ";\r\n" + kRecord + ":00000001FE\r\n";  // no bytes: never checked
  const std::string kWrongSum = ";\r\n:0300300002337A1F\r\n:00000001FE\r\n";
  const std::string kWrongSumFrame = Hex("42 03 00 30 00 02 33 7A 1F 0D");
  const std::string F = kFrame, S = kSecondFrame, W = ":00\r";  // W: a wrong echo
  const std::string VF = Hex("56 03 00 30 00 02 33 7A 1E 0D");   // F in Verify
  const std::string A0 = Hex("41 02 00 00 02 00 00 FC 0D");      // segment 0
  const OperationOutcome M = O::ModelMismatch;
  std::string tenRecords;
  for (int i = 0; i < 10; ++i) tenRecords += kRecord;
  const struct {
    const char* command;
    std::string content;
    Writes steps, sent;
    Dialogs dialogs;
    Outcomes outcomes;
    const char* said;
    const char* name = "746.ruf";
    int personality = 0;  // the user's choice for a Banwick with extended memory
  } flows[] = {
      // The end report; an echo's first two hex digits are its value.
      {"P", kEnded, {V, R, ":1E0\r"}, {Q, Z, F}, {D::ProgramSuccess}, {O::ProgramSucceeded},
       "2 Lines Processed in 0 Seconds\r\n Close Communications Port\r\n Close File\r\n"},
      {"P", kEnded, {V, R, W, W, W, W}, {Q, Z, F, F, F, F}, {D::ProgramFailure}, {O::ProgramFailed},
       "[[END OF ACTION FailureFlag=1 Total Errors=1]]"},
      {"P", kWrongSum, {}, {}, {}, {O::FileRefused},
       " Line 2 has a wrong record checksum: checksum 1F written, 1E computed\r\n"},
      {"P", ";\r\nS30800001000AABBCCB7\r\n", {}, {}, {}, {O::FileRefused},
       "has a wrong record checksum at line 2 (checksum B7 written, B6 computed)"},
      {"V", kEnded, {V, R, ": 1e\r"}, {Q, Z, VF}, {D::VerifySuccess}, {O::VerifySucceeded}, ""},
      {"V", kEnded, {V, R, W, W, W, W}, {Q, Z, VF, VF, VF, VF}, {D::VerifyFailure},
       {O::VerifyFailed}, "the radio's memory differs from the file in 1 line (the first is line"},
      // Errors ignored: answers are not needed and silence sends on; no dialog until the end,
      // which says nothing was checked. The output says what switched checking off.
      {"P1a", kEnded, {"whatever\r", "+10000"}, {Q, F}, {D::ProcessingComplete},
       {O::CompletedUnchecked}, "Switch to Ignore Radio Responses and Errors"},
      {"P1", kRecord, {"+30000"}, {Q, Q, F}, {D::ProcessingComplete},
       {O::CompletedUnchecked}, "Error checking is off"},
      // ... but a radio that names another model gets nothing of the file.
      {"P1", kRecord, {"VER 1234 781\r"}, {Q}, {}, {M}, "compatible with the Fennic"},
      {"P1", kRecord, {"VER 1234 746\r"}, {Q, F}, {}, {}, ""},
      {"P1", "#E010203\r\n" + kRecord, {"whatever\r", "+39999"},  // an E frame is given 40 s
       {Q, Hex("45 01 02 03 FA 0D")}, {}, {}, ""},
      {"T", kEnded, {V, R}, {Q, Hex("99 03 00 30 00 02 33 7A 1E 0D")}, {}, {O::EndedWithoutDialog},
       ""},
      // Nothing reaches the radio from a file that would not be sent as it was checked.
      {"P", "", {"gone"}, {}, {}, {}, "", ""},  // none chosen
      {"P", "", {}, {}, {}, {O::FileRefused}, "none/746.ruf: No such file or directory.",
       "none/746.ruf"},
      {"P", kRecord + ":0300300002X37A1E\r\n", {}, {}, {}, {O::FileRefused},
       "breaks the update file format at line 2 (data: 'X' at column 11 is not a hex digit)"},
      {"P", ";nothing here\r\n", {}, {}, {}, {O::FileRefused}, "it holds no records."},
      {"P", kRecord, {}, {}, {}, {O::FileRefused}, "is the update file itself", "./comms.txt"},
      // Each answer goes on or waits by the rules the radios have always been read with;
      // ":" without digits is the last echo's value, and VER again sends the start again.
      {"P", tenRecords, {V, R, "\x06\r", "\x13\r", "\x11\r", "Zbad\r", "Sx\r", "E\r", "G\r", "A\r",
       "VER 1 DSP\r", "Z READY\r", ":00 READY\r", "what?\r", "", std::string("x\0READY\r", 8),
       ":1E\r", ":\r", V}, {Q, Z, F, F, F, F, F, F, F, F, F, F, Z}, {}, {}, ""},
      // The model check is the one guard against flashing the wrong firmware. The family
      // as the README lists it: each model takes its own files (its name shows in the status
      // bar) and refuses another's (its name in the refusal); a 712 reports no model code.
      {"P", kRecord, {"VER 1234\r"}, {Q, "XX\r"}, {}, {}, "|Ostrel 712|", "712.ruf"},
      {"P", kRecord, {"VER 1234 734\r"}, {Q, Z}, {}, {}, "|Banwick 734|", "734.ruf"},
      {"P", kRecord, {"VER 1234 746\r"}, {Q, Z}, {}, {}, "|Model QV746|", "746.ruf"},
      {"P", kRecord, {"VER 1234 758\r"}, {Q, Z}, {}, {}, "|Model 758|", "758.ruf"},
      {"P", kRecord, {"VER 1234 763\r"}, {Q, Z}, {}, {}, "|QV-763 Reciever|", "763.ruf"},
      {"P", kRecord, {"VER 1234 775\r"}, {Q, Z}, {}, {}, "|Kestrun V Transceiver|", "775.ruf"},
      {"P", kRecord, {"VER 1234 781\r"}, {Q, Z}, {}, {}, "|Fennic 781|", "781.ruf"},
      {"P", kRecord, {"VER 1234 784\r"}, {Q, Z}, {}, {}, "|Fennic 2 784|", "784.ruf"},
      {"P", kRecord, {"VER 1234 797\r"}, {Q, Z}, {}, {}, "|Model 797|", "797.ruf"},
      {"P", kRecord, {"VER 1234 729\r"}, {Q, Z}, {}, {}, "|Model 729|", "729.ruf"},
      {"P", kRecord, {"VER 1234\r"}, {Q}, {}, {M}, "compatible with the Ostrel", "734.ruf"},
      {"P", kRecord, {"VER 1234 734\r"}, {Q}, {}, {M}, "compatible with the Banwick", "746.ruf"},
      {"P", kRecord, {V}, {Q}, {}, {M}, "compatible with the Model QV746", "758.ruf"},
      {"P", kRecord, {"VER 1234 758\r"}, {Q}, {}, {M}, "compatible with the Model 758", "763.ruf"},
      {"P", kRecord, {"VER 1234 763\r"}, {Q}, {}, {M}, "compatible with the QV-763", "775.ruf"},
      {"P", kRecord, {"VER 1234 775\r"}, {Q}, {}, {M}, "compatible with the KESTRUN-V", "781.ruf"},
      {"P", kRecord, {"VER 1234 781\r"}, {Q}, {}, {M}, "compatible with the Fennic", "784.ruf"},
      {"P", kRecord, {"VER 1234 784\r"}, {Q}, {}, {M}, "compatible with the Fennic2", "797.ruf"},
      {"P", kRecord, {"VER 1234 797\r"}, {Q}, {}, {M}, "compatible with the Model 797", "729.ruf"},
      {"P", kRecord, {"VER 1234 729\r"}, {Q}, {}, {M}, "compatible with the Model 729", "712.ruf"},
      {"P", kRecord, {V}, {Q}, {}, {M}, "compatible with the Model QV746. Its name does not begin "
       "with a model code: the name of a file for this radio must begin with the three-digit "
       "model code 746.", "fw.hex"},
      // Before the radio has named its model other answers wait, and silence asks again.
      {"P", kRecord, {"EH?\r", "E\r", "G\r", "A\r", R, W, "DSP\r", "\x06\r", "+5000", V, "+5000"},
       {Q, Q, Z, Z}, {}, {}, ""},
      // A settings value other than 0 and 1 keeps the 50 s that a 758 may take to start.
      {"P5", kRecord, {"VER 1234 758\r", "+50000"}, {Q, Z, Z}, {}, {}, "", "758.ruf"},
      {"P", kRecord, {"VER"}, {Q, "XX\r"}, {}, {}, "", "712.ruf"},  // no model: a 712
      {"P", kRecord, {"VER 1234 712\r", "+4999"}, {Q}, {}, {}, "The radio reports model 712 (DSP "
       "VERSION 1.234), which this program does not know", "712.ruf"},
      // A failure leaves nothing behind: the next operation gets all its resends.
      {"P", kRecord + kSecondRecord, {V, R, "+15000", ":1E\r", "+40000", "+60000", "again",
       "+5000"}, {Q, Z, F, F, F, F, S, S, S, S, S, S, S, S, Q, Q}, {D::CommFailure},
       {O::CommunicationFailed}, ""},
      // A silent radio is told in the log, with the line it left unanswered.
      {"P", kRecord, {V, R, "+40000"}, {Q, Z, F, F, F, F, F, F, F, F}, {D::CommFailure},
       {O::CommunicationFailed}, " The update failed: the radio did not answer line 1 of the "
       "file (8 sendings)\r\n"},
      // Ten seconds without an identification: the port is emptied and the question asked
      // again; any serial answer ends that wait.
      {"P", kRecord, {"~VE", "+10000", V}, {Q, Q, Q, Z}, {D::CommFailure}, {}, ""},
      {"P", kRecord, {"hello\r", "+10000"}, {Q, Q, Q}, {}, {}, ""},
      // A Banwick with extended memory ('-' after "VER") asks where to store the file.
      {"P", ":020000021000EC\r\n#E000000\r\n", {"VER-1234 734\r", R, "E\r"},
       {Q, Z, Hex("45 02 00 00 FE 0D")}, {D::ProgramSuccess}, {O::ProgramSucceeded}, "", "734.ruf",
       2},
      {"P", kRecord, {"VER-1234 734\r", "VER-1234 734\r", "+60000"}, {Q, "P0\r"}, {},
       {O::PersonalityCancelled}, "The update was cancelled", "734.ruf", -1},
      {"P", kRecord, {"VER 1234 734\r"}, {Q, Z}, {}, {}, "", "734.ruf", -1},
      // A request the port refuses ends the operation at once, with the system's reason;
      // the cancelling one is told, and the cancellation ends it.
      {"P", kRecord + kRecord, {V, "!5", R}, {Q, Z}, {D::CommFailure}, {O::CommunicationFailed},
       " The request could not be sent to the radio: Input/output error.\r\n Close"},
      {"P", kRecord, {"!5", "VER-1234 734\r"}, {Q}, {}, {O::PersonalityCancelled},
       "sent to the radio: Input/output error.\r\n Close Communications Port\r\n Close File\r\n "
       "The update was cancelled", "734.ruf", -1},
      {"P", kRecord + kRecord, {V, R, "verify", "stop", ":1E\r", "+60000"}, {Q, Z, F}, {},
       {O::Stopped}, "The operation was stopped before its end"},
      // A pulled cable ends it at once, named with the line reached, not after the silences.
      {"P", kRecord + kSecondRecord, {V, R, ":1E\r", "gone", "+60000"}, {Q, Z, F, S},
       {D::CommFailure}, {O::CommunicationFailed}, "The radio's port /dev/ttyS0 went away (cable "
       "pulled?) at line 2 of 2; the update is not complete.\r\n Close Communications Port"},
      {"V", kRecord, {V, R, "gone"}, {Q, Z, VF}, {D::CommFailure}, {O::CommunicationFailed},
       "at line 1 of 1; the Verify is not complete."},
      // Refused before anything is sent: data the radio would place elsewhere, a model line
      // of another model, and a Verify that would write (S frames and the text lines of a
      // 797 or 729 carry no mode byte).
      {"P", "S1050000AABB95\r\nS1050000AABB95\r\nS30800001000AABBCCB6\r\n", {}, {}, {},
       {O::FileRefused}, " Line 2 holds data the radio cannot place: an S1 record (16-bit"},
      {"P", "#MModel QV746\r\n" + kRecord, {}, {}, {}, {O::FileRefused},
       "its model line (line 1, \"Model QV746\") names model 746, its name model 734", "734.ruf"},
      {"V", "S30800001000AABBCCB6\r\n", {}, {}, {}, {O::FileRefused}, "A Verify cannot prove"},
      {"V", kRecord, {}, {}, {}, {O::FileRefused}, "a Model 797 takes its lines as text", "797.ruf"},
      {"V", kRecord, {}, {}, {}, {O::FileRefused}, "a Model 729 takes its lines as text", "729.ruf"},
      {"P", kRecord + ":020000021000EC\r\n", {V, R, W, ":FC\r", ":1E\r", ":EC\r"},
       {Q, Z, A0, A0, F, Hex("41 02 00 00 02 10 00 EC 0D")}, {D::ProgramSuccess},
       {O::ProgramSucceeded}, ""},  // segment 0 first, resent as a line is
      {"P", ":00000001FF\r\n:0300300002337A1E\r\n", {V, R}, {Q, Z, F}, {}, {},
       " Warning: line 2 of this file holds a record after the end record of line 1"},
  };
  for (const auto& f : flows) {
    SCOPED_TRACE(f.name + (" " + f.content.substr(0, 40)));
    const auto command = *f.command == 'V' ? kVerify : *f.command == 'T' ? kTest : kProgram;
    const OperationOptions options{
        .ignoreErrors = f.command[1] ? f.command[1] - '0' : 0,
        .errorSwitchFromArgument = std::string_view(f.command).ends_with('a')};
    EngineRig rig;
    rig.host.personalityAnswer = f.personality;  // asked only while an operation runs:
    rig.host.duringPersonalityDialog = [&rig] { EXPECT_TRUE(rig.engine.operationRunning()); };
    rig.Start(f.name, f.content, options, command);
    for (const std::string& step : f.steps) {
      if (step.starts_with('+')) {
        rig.host.AdvanceBy(milliseconds{std::stoi(step.substr(1))});
      } else if (step.starts_with('~')) {
        rig.serial.input += step.substr(1);
      } else if (step.starts_with('!')) {
        rig.serial.writeError = std::stoi(step.substr(1));
      } else if (step == "gone") {
        rig.engine.OnSerialPortGone();
      } else if (step == "stop" || step == "verify" || step == "again") {
        step == "stop" ? rig.engine.StopOperation()
                       : rig.engine.Run(step == "verify" ? kVerify : command, options);
      } else {
        rig.Answer(step);
      }
    }
    EXPECT_EQ(rig.serial.writes, f.sent);
    EXPECT_EQ(rig.host.dialogs, f.dialogs);
    EXPECT_EQ(rig.host.outcomes, f.outcomes);
    std::string seen = rig.host.output + "|" + rig.host.status[1] + "|" + rig.Trace();
    for (const auto& message : rig.host.messages) seen += message.first;
    EXPECT_NE(seen.find(f.said), npos) << seen;
    // The host learns each refusal and failure as a finding, in the words it shows.
    const auto told = [&rig](FindingKind kind) {
      return std::ranges::count(rig.host.findings, kind, &OperationFinding::kind);
    };
    for (const OperationFinding& finding : rig.host.findings) {
      // (The radio's silence is said by dialog 113, its model by the status bar.)
      if (finding.kind != FindingKind::CommunicationFailed &&
          finding.kind != FindingKind::RadioIdentified) {
        EXPECT_NE(seen.find(finding.text), npos) << finding.text;
      }
    }
    for (const OperationOutcome outcome : f.outcomes) {
      if (outcome == O::ProgramFailed || outcome == O::VerifyFailed) {
        EXPECT_EQ(told(FindingKind::Failed), 1);
      }
      if (outcome == O::FileRefused) {
        EXPECT_EQ(told(FindingKind::FileRefused) + told(FindingKind::VerifyRefused), 1);
      }
      if (outcome == M) {
        EXPECT_EQ(told(FindingKind::ModelMismatch), 1);
      }
      if (outcome == O::PersonalityCancelled) {
        EXPECT_EQ(told(FindingKind::PersonalityCancelled), 1);
      }
    }
    EXPECT_EQ(rig.host.beeps, std::count(f.dialogs.begin(), f.dialogs.end(), D::CommFailure));
    // Whatever the end, nothing stays open and no timer runs after it.
    EXPECT_EQ(rig.serial.open, rig.engine.operationRunning());
    EXPECT_EQ(rig.host.timers.empty(), !rig.engine.operationRunning());
  }
}

// Refused by its size alone: a sparse file, no disk used and nothing read.
TEST(EngineFlows, AFileOverTheSizeLimitIsRefusedNamingItsSizeAndTheLimit) {
  EngineRig rig;
  const std::string path = rig.dir.Write("746.ruf", kRecord);
  std::filesystem::resize_file(path, kMaxRufFileSize + 1);
  rig.host.chosenFile = path;
  rig.engine.Run(kProgram);
  ASSERT_FALSE(rig.host.messages.empty());
  EXPECT_EQ(rig.host.messages.back().first,
            "Unable to open file " + path + ": it is too large: 67108865 bytes, more than the "
            "67108864 bytes (64 MiB) a RUF file may have.");
  EXPECT_EQ(rig.host.outcomes, Outcomes{O::FileRefused});
  EXPECT_TRUE(rig.serial.writes.empty());
}

TEST(EngineFrames, EachKindOfLineReachesTheRadioAsItExpectsIt) {
  const struct {
    const char* name;
    OperationMode command;
    int model;
    std::string file;
    Writes sent;  // after Q, to a radio that answers as a healthy one does
    int wrongEchoes = 0;
  } cases[] = {
      {"segments as they change", kProgram, 746,
       ":020000025AA5FD\r\n:020000021000EC\r\n:020000021000EC\r\n:020000022000DC\r\n"
       ":020000040000FA\r\n" + kRecord + ":00000001FF\r\n",
       {Z, Hex("41 02 00 00 02 5A A5 FD 0D"), Hex("41 02 00 00 02 10 00 EC 0D"),
        Hex("41 02 00 00 02 20 00 DC 0D"), kFrame}},
      {"wrong echoes: a line goes 4 times, and the segment again", kProgram, 746,
       ":020000021000EC\r\n" + kRecord + ":020000021000EC\r\n" + kSecondRecord,
       {Z, Hex("41 02 00 00 02 10 00 EC 0D"), kFrame, kFrame, kFrame, kFrame,
        Hex("41 02 00 00 02 10 00 EC 0D"), kSecondFrame}, 4},
      {"S-records: no S0 nor S7, and an S5 ends the reading", kProgram, 746, "S0030000FC\r\n"
       "S30800001000AABBCCB6\r\nS5030001FB\r\nS9030000FC\r\nS70500000000FA\r\n",
       {Z, Hex("53 08 00 00 10 00 AA BB CC B6 0D"), Hex("53 03 00 01 FB 0D")}},
      // Data before the first segment record goes to segment 0, whatever segment the radio
      // had; so does each image of joined files; files without segment records stay as
      // they are.
      {"data before the first segment", kProgram, 746,
       kRecord + ":020000021000EC\r\n" + kSecondRecord + ":00000001FF\r\n" + kRecord,
       {Z, Hex("41 02 00 00 02 00 00 FC 0D"), kFrame, Hex("41 02 00 00 02 10 00 EC 0D"),
        kSecondFrame, Hex("41 02 00 00 02 00 00 FC 0D"), kFrame}},
      {"no segment records", kProgram, 746, kRecord + ":00000001FF\r\n" + kRecord,
       {Z, kFrame, kFrame}},
      {"directives", kProgram, 746, "#E010203\r\n#G01020304\r\n",
       {Z, Hex("45 01 02 03 FA 0D"), Hex("47 01 02 03 04 F6 0D")}},
      {"directives in Verify", kVerify, 746, "#E010203\r\n#G01020304\r\n#UNLOCKBOOT\r\n" + kRecord,
       {Z, Hex("56 03 00 30 00 02 33 7A 1E 0D")}},
      {"text and lines of no kind", kProgram, 746,
       "#>MODE 3\r\n#>\r\n#UNLOCKBOOT\r\n#UNLOCK\r\n\r\n#X\r\nhello\r\n" + kRecord,
       {Z, "MODE 3\r\n", "\r", "\r\n", "\r", "UNLOCKBOOT\r", kFrame}},
      {"a 797's text lines", kProgram, 797, "#>ABCD\r\n" + kRecord + "S308000010000ABBCC56\r\n",
       {Z, "ABCD\r", "\r", ":0300300002337A1E\r", Hex("53 08 00 00 10 00 0A BB CC 56 0D")}},
      {"a 729's text lines", kProgram, 729, kRecord, {Z, ":0300300002337A1E\r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRig rig;
    rig.Healthy(Format("VER 1234 %d\r", c.model), c.wrongEchoes);
    rig.Start(std::to_string(c.model) + ".ruf", c.file, {}, c.command);
    rig.RunToTheEnd();
    ASSERT_FALSE(rig.serial.writes.empty()) << rig.host.output;
    EXPECT_EQ(Writes(rig.serial.writes.begin() + 1, rig.serial.writes.end()), c.sent);
    EXPECT_FALSE(rig.engine.operationRunning());
  }
}

TEST_F(Engine, ThePersonalityQuestionHoldsTheTimersAndItsAnswerIsActedOnLater) {
  host.personalityAnswer = 2;
  host.duringPersonalityDialog = [this] {
    host.duringPersonalityDialog = nullptr;
    host.AdvanceBy(milliseconds{60000});  // a minute: no resend, no failure
    Answer("VER-1234 734\r");             // a repeated answer asks no second time
  };
  Start("734.ruf", ":020000021000EC\r\n" + kRecord);
  Answer("VER-1234 734\r");
  EXPECT_EQ(serial.writes, (Writes{Q, Z}));
  EXPECT_TRUE(host.dialogs.empty());
  Answer(R);  // a personality places the data itself: no segment frame
  Answer(":1E\r");
  EXPECT_EQ(serial.writes, (Writes{Q, Z, kFrame}));
  EXPECT_EQ(host.outcomes, Outcomes{O::ProgramSucceeded});
}

TEST_F(Engine, AModel797SwitchesThePortToXonXoffUntilAnotherModelAnswers) {
  Start("746.ruf", kRecord);
  Answer("VER 1234 797\r");
  EXPECT_EQ(Writes(serial.calls.end() - 5, serial.calls.end() - 1),
            (Writes{"SetLineFormat 57600 8 0 0", "SetFlowControl 2", "SetWriteTimeouts 100 100",
                    "Purge"}));
  StartAndIdentify("712.ruf", "#>A\r\n" + kRecord, "VER 1234\r");
  EXPECT_EQ(Writes(serial.writes.end() - 3, serial.writes.end()), (Writes{"A\r\n", "\r", kFrame}));
}

TEST_F(Engine, ShowsProgressForEveryLineUpToFiftyThenForEveryTenth) {
  std::string file;
  for (int i = 0; i < 75; ++i) file += kRecord;
  StartAndIdentify("746.ruf", file);
  Answer(":00\r");  // a line sent again counts once
  for (int line = 1; line < 60; ++line) Answer(":1E\r");
  EXPECT_EQ(host.status[0], "50 of 75 Lines Processed");
  for (int line = 60; line <= 75; ++line) Answer(":1E\r");
  std::vector<std::pair<int, int>> shown{{0, 75}};
  for (int done = 0; done <= 50; ++done) shown.emplace_back(done, 75);
  shown.insert(shown.end(), {{60, 75}, {70, 75}});
  EXPECT_EQ(host.progress, shown);
}

TEST_F(Engine, OpensThePortTheRadioWayReadsAnswersAtTheirCrAndTracesEveryExchange) {
  host.nowMs = 1000;
  StartAndIdentify("746.ruf", kRecord + ":00000001FF\r\n");
  EXPECT_EQ(Writes(serial.calls.begin(), serial.calls.begin() + 8),
            (Writes{"CheckPortAvailable /dev/ttyS0", "Open /dev/ttyS0 2048 2048",
                    "SetLineFormat 57600 8 0 0", "SetFlowControl 1", "SetWriteTimeouts 10 10",
                    "SetEventCharacter 13 0", "SetEventMask 130", "Purge"}));
  Answer("\x13\r");
  Answer("what?\r");
  serial.input = ":1E\r";
  engine.OnSerialEvent(kEventLineError, kLineErrorFraming);  // no CR arrived: nothing is read
  EXPECT_EQ(serial.input, ":1E\r");
  host.nowMs = 4200;
  serial.discardedAtClose = 3;
  serial.input = std::string(200, 'A');  // one answer is at most 128 bytes; the rest is purged
  engine.OnSerialEvent(kEventFlagChar, 0);
  EXPECT_TRUE(serial.input.empty());
  std::string read;
  for (int i = 0; i < 128; ++i) read += "41 ";
  const std::string traced = Trace();
  for (const std::string& line :
       Writes{"Log File Begin\r\n", " R< 3f 56 0d \r\n", " R> READY RESPONSE DETECTED\r\n",
        " R> 56 45 52 20 31 32 33 34 20 37 34 36 0D \r\r\n", " R< 42 03 00 30 00 02 33 7a 1e 0d ",
        "[[End of Processing 0 Checksum Errors Encountered. Total time 3 Seconds]]\r\n",
        "[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n", " R> Model 797 sent a XOFF\r\n",
        "[[serial response parser  I didn't understand the response ]]", " R> " + read + "\r"}) {
    EXPECT_NE(traced.find(line), npos) << line;
  }
  // The port closes before the trace, so the trace tells what the port discarded.
  EXPECT_TRUE(traced.ends_with("[[serial port closed with 3 bytes of output held back by flow "
                               "control; they were discarded]]\r\n")) << traced;
  StartAndIdentify("746.ruf", kRecord);
  EXPECT_EQ(Trace().find("END OF ACTION"), npos) << "each operation begins its trace anew";
  Answer(":1E\r");
  EXPECT_EQ(host.dialogs, (Dialogs{D::ProgramSuccess, D::ProgramSuccess}));
}

TEST_F(Engine, ATraceThatCannotBeWrittenIsToldOnceAndTheOperationGoesOn) {
  std::filesystem::create_symlink(dir.Write("notes.txt", ""), dir.File("link.txt"));
  std::signal(SIGXFSZ, SIG_IGN);  // past the size limit a write fails with EFBIG instead
  rlimit unlimited{};
  ::getrlimit(RLIMIT_FSIZE, &unlimited);
  const std::tuple<const char*, const char*, rlim_t> cases[] = {  // trace, reason, size limit
      {"no-such-dir/comms.txt", "could not be created (", unlimited.rlim_cur},
      {"link.txt", "is not a regular file (a symbolic link, a pipe or a device) and is left alone",
       unlimited.rlim_cur},
      {"full.txt", "could not be written (File too large)", 20},  // the first line only
  };
  int told = 0;
  for (const auto& [name, reason, sizeLimit] : cases) {
    trace.SetPath(dir.File(name));
    const rlimit limited{sizeLimit, unlimited.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limited);
    StartAndIdentify("746.ruf", kRecord);
    Answer(":1E\r");
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    const std::string said = " The trace file " + dir.File(name) + " " + reason;
    EXPECT_NE(host.output.find(said), npos) << host.output;
    EXPECT_EQ(host.output.find(said), host.output.rfind(" The trace file ")) << host.output;
    EXPECT_EQ(host.outcomes.back(), O::ProgramSucceeded) << name;
    EXPECT_EQ(host.tracesNotWritten, ++told) << name;  // the host's exit status depends on it
    // ... and its standard error the words, once.
    EXPECT_EQ(std::ranges::count(host.findings, FindingKind::TraceNotWritten,
                                 &OperationFinding::kind), told);
    const OperationFinding& last = *std::find_if(
        host.findings.rbegin(), host.findings.rend(),
        [](const OperationFinding& f) { return f.kind == FindingKind::TraceNotWritten; });
    EXPECT_TRUE(last.text.starts_with(said.substr(1))) << name;
    EXPECT_NE(host.output.find(" " + last.text + "\r\n"), npos) << name;
  }
}

TEST_F(Engine, OverUdpEachRequestIsOneDatagramOpenedByThePasscode) {
  settings = {.comPort = "COM1", .radioAddress = "127.0.0.2", .radioPort = 50000,
              .radioPasscode = 0x12345, .serialActive = false, .ethernetActive = true};
  StartAndIdentify("746.ruf", kRecord);
  const std::string passcode = Hex("23 45");
  EXPECT_EQ(udp.datagrams, (Writes{passcode + Q, passcode + Z, passcode + kFrame}));
  Answer(std::string(300, 'x') + R);  // longer than any serial answer
  EXPECT_EQ(host.outcomes, Outcomes{O::ProgramSucceeded});
  EXPECT_EQ(udp.calls, (Writes{"Create 50000", "Connect 127.0.0.2 50000", "Close"}));
  // A socket that cannot be created ends the operation; the next one tries again.
  udp.createError = 98;
  Start("746.ruf", kRecord);
  EXPECT_EQ(host.messages.back().first,
            "Socket Create returned error code 98: UDP port 50000 is in use by another program "
            "(Address already in use). Nothing was sent to the radio.");
  EXPECT_EQ(host.outcomes.back(), O::LinkNotOpened);
  udp.createError = 0;
  Start("746.ruf", kRecord);
  EXPECT_EQ(std::count(udp.calls.begin(), udp.calls.end(), "Create 50000"), 3);
  Answer("hello\r");  // only an identifying datagram ends the wait for one
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(host.dialogs.back(), D::CommFailure);
  Answer("");  // nothing read: nothing to tell
  EXPECT_EQ(host.messages.size(), 1u);
  udp.receiveError = 111;
  engine.OnUdpReadable();
  EXPECT_EQ(host.messages.back().first,
            "Windows Socket Error occurred: an answer of the radio could not be received "
            "(Connection refused).");
  engine.StopOperation();
  Start("746.ruf", kRecord + kRecord, {}, kTest);  // the first line ends that wait
  Answer("x\r");
  host.AdvanceBy(milliseconds{10000});
  EXPECT_EQ(host.dialogs.size(), 2u);
  engine.StopOperation();
  udp.sendError = ENETUNREACH;  // not even the first request leaves: no wait for an answer
  Start("746.ruf", kRecord);
  EXPECT_NE(host.output.find("sent to the radio: Network is unreachable.\r\n"), npos);
  EXPECT_EQ(host.outcomes.back(), O::CommunicationFailed);
  EXPECT_FALSE(host.FireNextTimer());
}

TEST_F(Engine, APortThatGoesAwayIsToldAsDataAndCancelsTheVerifyStillToCome) {
  settings.comPort = "/dev/ttyUSB3";
  Healthy(V);
  Start("746.ruf", ";\r\n" + kRecord + kSecondRecord);
  RunToTheEnd(4);
  engine.OnSerialPortGone();
  const OperationFinding& gone = host.findings.back();
  EXPECT_EQ(gone.kind, FindingKind::PortGone);
  EXPECT_EQ(std::tuple(gone.port, gone.line, gone.count, gone.total),
            std::tuple(std::string("/dev/ttyUSB3"), 3, 2, 2));
  EXPECT_NE(Trace().find("went away (cable pulled?) at line 2 of 2"), npos);
  Start("746.ruf", kRecord, {}, OperationMode::ProgramThenVerify);
  RunToTheEnd(7);
  Answer(":1E\r");  // the Program's last echo; the Verify waits for its timer
  ASSERT_EQ(host.outcomes.back(), O::ProgramSucceeded);
  engine.OnSerialPortGone();
  EXPECT_EQ(host.outcomes.back(), O::CommunicationFailed);
  EXPECT_NE(host.output.find("went away (cable pulled?) after the Program; the Verify was not"),
            npos);
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_FALSE(host.FireNextTimer());
  EXPECT_EQ(serial.writes.size(), 7u);
}

TEST_F(Engine, APortThatCannotBeOpenedEndsTheOperationAtOnceWithItsReason) {
  serial.availability = PortInUse;
  serial.unavailableReason = "it is in use by minicom (process 4242)";
  settings.comPort = "/dev/ttyUSB7";
  Start("746.ruf", kRecord);
  EXPECT_NE(host.output.find(" Serial port /dev/ttyUSB7 is not available: it is in use by "
                             "minicom (process 4242).\r\n"), npos);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].first.find("/dev/ttyUSB7: it is in use by minicom (process 4242)"),
            npos);
  EXPECT_EQ(host.outcomes, Outcomes{O::LinkNotOpened});
  EXPECT_FALSE(engine.operationRunning());
  EXPECT_FALSE(host.FireNextTimer());  // no identification timer, no dialog 113 later
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_TRUE(serial.writes.empty());
  serial.availability = PortAvailable;  // the check passed, the opening did not
  serial.openError = EACCES;
  Start("746.ruf", kRecord);
  EXPECT_NE(host.output.find("ttyUSB7 is not available: it cannot be opened (Permission denied)"),
            npos);
  EXPECT_EQ(host.outcomes.back(), O::LinkNotOpened);
  serial.openError = 0;  // nor does it wait for the timers after an unknown model
  host.stopOnUnlistedModel = true;
  Start("712.ruf", kRecord);
  Answer("VER 1234 712\r");
  EXPECT_EQ(host.identified, std::vector<std::int32_t>{712});
  EXPECT_EQ(host.outcomes.back(), O::UnlistedModel);
  EXPECT_FALSE(serial.open);
}

}  // namespace
}  // namespace flash::test
