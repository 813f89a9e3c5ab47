#pragma once

#include <cstddef>
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
  // Records that do not reach the radio as the file says (S1 records, type 04
  // records, lines after an S-record that ends the reading).
  std::vector<RufFinding> warnings;
  int formatFaultCount = 0;
  int checksumErrorCount = 0;
  int undefinedLineCount = 0;
  int warningCount = 0;

  // The file must not be sent: a fault of the whole file or of a line.
  bool refused() const { return !fileFault.empty() || formatFaultCount > 0; }
};

// Reads the whole file the way an operation does. At most kMaxFindings of each
// kind are kept in the lists; the counts are complete.
inline constexpr std::size_t kMaxFindings = 100;
RufSurvey SurveyRufFile(const std::string& path);
RufSurvey SurveyRufBytes(std::string_view bytes);

// Why the file at path must not be sent, in one sentence ("The file P cannot be sent:
// ...", "The file P breaks the update file format at line N (...)."); empty when it may.
std::string RefusalReason(const RufSurvey& survey, const std::string& path);
// The one line that warns of the records that will not reach the radio as written,
// naming the first of them; empty when there are none.
std::string WarningSummary(const RufSurvey& survey);
}  // namespace flash
