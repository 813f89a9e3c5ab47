#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

// One finding of the offline pass over a file.
struct RufFinding {
  int lineNumber = 0;
  std::string text;
};

// What the counting pass finds in a whole file.
struct RufSurvey {
  bool opened = false;
  int dataLines = 0;  // ':' lines, and 'S' lines that are not S0 or S7
  int sRecordLines = 0;  // of which 'S' lines
  // Data lines that the sending pass reaches: an S-record that ends the reading
  // (S2, S5 ...) leaves the data lines after it counted but never read.
  int dataLinesReached = 0;
  // Faults of the file as a whole ("holds no records", UTF-16); empty when none.
  std::string fileFault;
  std::vector<RufFinding> formatFaults;
  std::vector<RufFinding> checksumErrors;
  std::vector<RufFinding> undefinedLines;
  // Records whose data the radio cannot place at the address the file gives (a
  // type 04 record with a value, S1 and S2 data records, unknown S-record types).
  std::vector<RufFinding> unplaceable;
  // Things the file does that are sent as the radio tools always sent them, but
  // that a reader of the file may not expect (records after an end record).
  std::vector<RufFinding> warnings;
  int formatFaultCount = 0;
  int checksumErrorCount = 0;
  int undefinedLineCount = 0;
  int unplaceableCount = 0;
  int warningCount = 0;
  // Intel HEX segment (type 02) records that carry a value.
  int segmentRecords = 0;
  // The model codes this program knows that the file's model lines ("#M") name,
  // and the first such line.
  std::vector<int> modelCodesNamed;
  int modelLineNumber = 0;
  std::string modelLineText;

  // The file must not be sent whatever the radio: a fault of the whole file, a line
  // that breaks the format, a wrong checksum, or data the radio cannot place.
  bool refused() const {
    return !fileFault.empty() || formatFaultCount > 0 || checksumErrorCount > 0 ||
           unplaceableCount > 0;
  }
};

// Reads the whole file the way an operation does. At most kMaxFindings of each
// kind are kept in the lists; the counts are complete.
inline constexpr std::size_t kMaxFindings = 100;
RufSurvey SurveyRufFile(const std::string& path);
RufSurvey SurveyRufBytes(std::string_view bytes);

// A model line that names models this program knows but not the one the file's
// name is for, said as "its model line (line N, "TEXT") names model X, its name
// model Y"; empty when there is none.
std::string ModelLineConflict(const RufSurvey& survey, std::int32_t fileModelCode);
// Why a Verify of the file would not prove what the radio holds: some of its lines
// reach the radio without the Verify mode byte, and the radio writes them. Empty
// when a Verify compares every record.
std::string VerifyObstacle(const RufSurvey& survey, std::int32_t fileModelCode);
// The same as one sentence about the file at path, for the model its name gives ("A
// Verify cannot prove that the radio holds P: ..."); empty when a Verify can.
std::string VerifyRefusalReason(const RufSurvey& survey, const std::string& path);
// Why the file at path must not be sent, in one sentence ("The file P cannot be sent:
// ...", "The file P breaks the update file format at line N (...)."); empty when it may.
// The model its name begins with is checked against its model lines.
std::string RefusalReason(const RufSurvey& survey, const std::string& path);
// The one line that warns of what the file does unexpectedly, naming the first
// line; empty when there is nothing.
std::string WarningSummary(const RufSurvey& survey);
}  // namespace flash
