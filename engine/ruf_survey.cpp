#include "engine/ruf_survey.h"

#include "engine/ruf_reader.h"
#include "engine/ruf_records.h"
#include "engine/text_format.h"

namespace flash {
namespace {

// A NUL byte: the file is in UTF-16 or is no text at all.
std::string NulFault(std::string_view line) {
  const std::size_t nul = line.find('\0');
  if (nul == std::string_view::npos) return {};
  return Format("NUL byte at column %zu: the file is not plain text (UTF-16?)", nul);
}

// A carriage return with more text after it: a line that the reading would
// merge with the next, whatever its kind.
std::string BareCarriageReturnFault(std::string_view line) {
  const std::size_t cr = line.find('\r');
  if (cr != std::string_view::npos &&
      line.find_first_not_of("\r\n \t", cr) != std::string_view::npos) {
    return Format("carriage return at column %zu inside the line (carriage-return line ends?)", cr);
  }
  return {};
}

void Note(std::vector<RufFinding>& list, int& count, int lineNumber, std::string text) {
  ++count;
  if (list.size() < kMaxFindings) list.push_back({lineNumber, std::move(text)});
}

}  // namespace

RufSurvey SurveyRufFile(const std::string& path) {
  std::string bytes;
  if (!LoadRufFile(path, bytes)) return {};
  return SurveyRufBytes(bytes);
}

RufSurvey SurveyRufBytes(std::string_view bytes) {
  RufSurvey survey;
  survey.opened = true;
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    survey.fileFault = "it is in UTF-16: save it as plain text";
    return survey;
  }
  RufPieces pieces(bytes);
  std::string_view line;
  bool continuation = false;
  IntelRecord intel;
  SRecord srec;
  std::uint8_t bytesOfDirective[4];
  int somethingToSend = 0;
  int endRecordLine = 0;      // the first end record (Intel type 01, S7, S8, S9)
  int readingEndLine = 0;     // the first S-record after which nothing more is read
  char readingEndType = 0;
  int linesNeverRead = 0;
  int lastFaultLine = 0;
  while (pieces.Next(line, continuation)) {
    const int number = pieces.lineNumber();
    const LineKind kind = ClassifyLine(line, continuation);
    const bool reached = readingEndLine == 0;
    if (!reached && !continuation && LineContentLength(line) > 0) ++linesNeverRead;
    std::string fault = NulFault(line);
    if (fault.empty() && (kind == LineKind::IntelHex || kind == LineKind::SRecord) &&
        endRecordLine != 0) {
      fault = Format("a record after the end record of line %d", endRecordLine);
    }
    switch (kind) {
      case LineKind::IntelHex:
        ++survey.dataLines;
        ++somethingToSend;
        if (reached) ++survey.dataLinesReached;
        if (fault.empty()) fault = ParseIntelHex(line, intel);
        if (!fault.empty()) break;
        if (intel.recordType == 0x01 && endRecordLine == 0) endRecordLine = number;
        if (intel.byteCount == 0) break;
        if (intel.calcChecksum != intel.lineChecksum) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", intel.lineChecksum, intel.calcChecksum));
        }
        if (intel.recordType == 0x04 && intel.byteCount >= 2 && (intel.data[0] | intel.data[1]) != 0) {
          Note(survey.warnings, survey.warningCount, number,
               Format("extended linear address %02X%02X is not sent: the data records after it "
                      "reach the radio at their 16-bit addresses",
                      intel.data[0], intel.data[1]));
        }
        break;
      case LineKind::SRecord: {
        const char type = line.size() > 1 ? line[1] : '\0';
        if (type == '7' && endRecordLine == 0) endRecordLine = number;
        // S0 and S7 are passed over before any field is read.
        if (type == '0' || type == '7') break;
        ++survey.dataLines;
        ++survey.sRecordLines;
        ++somethingToSend;
        if (reached) ++survey.dataLinesReached;
        if (fault.empty()) fault = ParseSRecord(line, srec);
        if (!fault.empty()) break;
        if (srec.byteCount != 0 && srec.calcChecksum != srec.lineChecksum) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", srec.lineChecksum, srec.calcChecksum));
        }
        if ((type == '8' || type == '9') && endRecordLine == 0) endRecordLine = number;
        if (srec.byteCount == 0) break;
        if (srec.recordType == 1) {
          Note(survey.warnings, survey.warningCount, number,
               "S1 record: counted, but S1 records are not sent to the radio");
        } else if (srec.recordType != 3 && readingEndLine == 0) {
          readingEndLine = number;
          readingEndType = type;
        }
        break;
      }
      case LineKind::EDirective:
        ++somethingToSend;
        if (fault.empty()) fault = ParseDirectiveBytes(line, 3, bytesOfDirective);
        break;
      case LineKind::GDirective:
        ++somethingToSend;
        if (fault.empty()) fault = ParseDirectiveBytes(line, 4, bytesOfDirective);
        break;
      case LineKind::PassThrough:
        ++somethingToSend;
        break;
      case LineKind::Unlock:
        if (line.size() >= 10 && line.compare(1, 9, "UNLOCKBOO") == 0) ++somethingToSend;
        break;
      case LineKind::Undefined:
        // The pieces of a line already refused add nothing.
        if (continuation && lastFaultLine == number) break;
        Note(survey.undefinedLines, survey.undefinedLineCount, number,
             continuation ? "continues a line longer than 254 characters"
             : LineContentLength(line) == 0 ? "blank line"
                                        : "no line kind begins with " + DescribeChar(line[0]));
        break;
      default:
        break;
    }
    if (fault.empty()) fault = BareCarriageReturnFault(line);
    // One fault a line: the pieces of a long line would repeat it.
    if (!fault.empty() && lastFaultLine != number) {
      Note(survey.formatFaults, survey.formatFaultCount, number, fault);
      lastFaultLine = number;
    }
  }
  if (linesNeverRead > 0) {
    Note(survey.warnings, survey.warningCount, readingEndLine,
         Format("the reading of the file ends at this S%c record: the %d line%s after it %s never "
                "sent",
                readingEndType, linesNeverRead, linesNeverRead == 1 ? "" : "s",
                linesNeverRead == 1 ? "is" : "are"));
  }
  if (somethingToSend == 0 && survey.formatFaultCount == 0) survey.fileFault = "it holds no records";
  return survey;
}

std::string RefusalReason(const RufSurvey& survey, const std::string& path) {
  if (!survey.fileFault.empty()) {
    return Format("The file %s cannot be sent: %s.", path.c_str(), survey.fileFault.c_str());
  }
  if (survey.formatFaults.empty()) return {};
  const RufFinding& first = survey.formatFaults.front();
  return Format("The file %s breaks the update file format at line %d (%s).", path.c_str(),
                first.lineNumber, first.text.c_str());
}

std::string WarningSummary(const RufSurvey& survey) {
  if (survey.warnings.empty()) return {};
  const RufFinding* first = &survey.warnings.front();
  for (const RufFinding& warning : survey.warnings) {
    if (warning.lineNumber < first->lineNumber) first = &warning;
  }
  return Format("Warning: %d line%s of this file will not reach the radio as written; the first, "
                "line %d: %s.",
                survey.warningCount, survey.warningCount == 1 ? "" : "s", first->lineNumber,
                first->text.c_str());
}

}  // namespace flash
