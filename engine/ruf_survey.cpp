#include "engine/ruf_survey.h"

#include <algorithm>

#include "engine/model_table.h"
#include "engine/ruf_reader.h"
#include "engine/ruf_records.h"
#include "engine/text_format.h"

namespace flash {
namespace {

// A NUL byte: the file is in UTF-16 or is no text at all.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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

// The model codes this program knows that a model line names: runs of exactly three
// digits ("#MModel QV746", "#MFennic 2 784").
void NoteModelsNamed(RufSurvey& survey, std::string_view line, int number) {
  const std::string_view text = line.substr(std::min<std::size_t>(2, line.size()));
  bool named = false;
  for (std::size_t i = 0; i < text.size();) {
    if (!IsDigit(text[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    if (end - i == 3) {
      const int code = (text[i] - '0') * 100 + (text[i + 1] - '0') * 10 + (text[i + 2] - '0');
      for (const ModelRow& row : kModelTable) {
        if (row.fileCode == code) {
          survey.modelCodesNamed.push_back(code);
          named = true;
          break;
        }
      }
    }
    i = end;
  }
  if (named && survey.modelLineNumber == 0) {
    survey.modelLineNumber = number;
    survey.modelLineText = std::string(text.substr(0, LineContentLength(text)));
  }
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
  // An Intel end-of-file record or an S7 line: the reading goes on after it, and the
  // records after it are sent as the radio tools always sent them.
  int passedEndLine = 0;
  bool recordAfterPassedEnd = false;
  // An S5, S6, S8 or S9 line: it is sent and nothing after it is read.
  int readingEndLine = 0;
  int lastFaultLine = 0;
  const auto afterPassedEnd = [&](int number) {
    if (passedEndLine == 0 || recordAfterPassedEnd) return;
    recordAfterPassedEnd = true;
    Note(survey.warnings, survey.warningCount, number,
         Format("a record after the end record of line %d: the reading goes on, and the "
                "records after it are sent",
                passedEndLine));
  };
  while (pieces.Next(line, continuation)) {
    const int number = pieces.lineNumber();
    const LineKind kind = ClassifyLine(line, continuation);
    const bool reached = readingEndLine == 0;
    std::string fault = NulFault(line);
    // What comes after the reading ended is never sent: a record or a directive
    // there would be lost without a word.
    const auto neverRead = [&](const char* what) {
      if (fault.empty() && !reached) {
        fault = Format("%s after the end record of line %d", what, readingEndLine);
      }
    };
    switch (kind) {
      case LineKind::IntelHex:
        ++survey.dataLines;
        if (reached) ++survey.dataLinesReached;
        neverRead("a record");
        if (fault.empty()) fault = ParseIntelHex(line, intel);
        if (!fault.empty()) break;
        if (intel.recordType == 0x01) {
          if (passedEndLine == 0 || recordAfterPassedEnd) {
            passedEndLine = number;
            recordAfterPassedEnd = false;
          }
          break;
        }
        afterPassedEnd(number);
        if (intel.byteCount == 0) break;
        if (intel.calcChecksum != intel.lineChecksum) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", intel.lineChecksum, intel.calcChecksum));
        }
        if (intel.recordType == 0x00) ++somethingToSend;
        if (intel.recordType == 0x02) ++survey.segmentRecords;
        if (intel.recordType == 0x04 && (intel.byteCount < 2 || (intel.data[0] | intel.data[1]) != 0)) {
          Note(survey.unplaceable, survey.unplaceableCount, number,
               Format("an extended linear address record (type 04) of value %02X%02X; the radio "
                      "places data only by segment records (type 02, below 1 MiB): convert the "
                      "file to them",
                      intel.data[0], intel.byteCount < 2 ? 0 : intel.data[1]));
        }
        break;
      case LineKind::SRecord: {
        const char type = line.size() > 1 ? line[1] : '\0';
        // A header, a count (S5, S6) or an end record (S7, S8, S9): no data to place.
        const bool termination = type == '0' || type == '5' || type == '6' || type == '7' ||
                                 type == '8' || type == '9';
        if (type == '7') {
          if (passedEndLine == 0 || recordAfterPassedEnd) {
            passedEndLine = number;
            recordAfterPassedEnd = false;
          }
        }
        // S0 and S7 are passed over before any field is read.
        if (type == '0' || type == '7') break;
        ++survey.dataLines;
        ++survey.sRecordLines;
        if (reached) ++survey.dataLinesReached;
        // A count or end record after the end changes nothing: it carries no data.
        if (!termination) neverRead("a record");
        if (fault.empty()) fault = ParseSRecord(line, srec);
        if (!fault.empty()) break;
        if (reached) afterPassedEnd(number);
        if (srec.byteCount == 0) break;
        if (srec.calcChecksum != srec.lineChecksum && reached) {
          Note(survey.checksumErrors, survey.checksumErrorCount, number,
               Format("checksum %02X written, %02X computed", srec.lineChecksum, srec.calcChecksum));
        }
        if (srec.recordType == 3) {
          ++somethingToSend;
        } else if (srec.recordType == 1 || srec.recordType == 2) {
          Note(survey.unplaceable, survey.unplaceableCount, number,
               Format("an S%c record (%d-bit address); the radio places data only by S3 records "
                      "(32-bit address): convert the file to them",
                      type, srec.recordType == 1 ? 16 : 24));
        } else if (!termination) {
          Note(survey.unplaceable, survey.unplaceableCount, number,
               Format("S%c is no record type the radio takes; it takes S3 data records", type));
        } else if (readingEndLine == 0) {
          readingEndLine = number;
        }
        break;
      }
      case LineKind::EDirective:
        ++somethingToSend;
        neverRead("a directive");
        if (fault.empty()) fault = ParseDirectiveBytes(line, 3, bytesOfDirective);
        break;
      case LineKind::GDirective:
        ++somethingToSend;
        neverRead("a directive");
        if (fault.empty()) fault = ParseDirectiveBytes(line, 4, bytesOfDirective);
        break;
      case LineKind::PassThrough:
        ++somethingToSend;
        neverRead("a directive");
        break;
      case LineKind::Unlock:
        if (line.size() >= 10 && line.compare(1, 9, "UNLOCKBOO") == 0) {
          ++somethingToSend;
          neverRead("a directive");
        }
        break;
      case LineKind::ModelHeader:
        NoteModelsNamed(survey, line, number);
        break;
      case LineKind::Undefined:
        // The pieces of a line already refused add nothing; nor does the line end of a
        // line that just fills a read (a 121-byte record with CR LF), left as a piece.
        if (continuation && (lastFaultLine == number || LineContentLength(line) == 0)) break;
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
  // Records refused for what they hold say more than that nothing is left to send.
  if (somethingToSend == 0 && survey.formatFaultCount == 0 && survey.unplaceableCount == 0) {
    survey.fileFault = survey.dataLines == 0 ? "it holds no records"
                                             : "it holds no data records and nothing else to send";
  }
  return survey;
}

std::string ModelLineConflict(const RufSurvey& survey, std::int32_t fileModelCode) {
  if (survey.modelCodesNamed.empty()) return {};
  for (const int code : survey.modelCodesNamed) {
    if (code == fileModelCode) return {};
  }
  std::string named;
  for (const int code : survey.modelCodesNamed) {
    named += (named.empty() ? "" : " or ") + std::to_string(code);
  }
  const bool nameHasCode = std::any_of(std::begin(kModelTable), std::end(kModelTable),
                                       [&](const ModelRow& row) { return row.fileCode == fileModelCode; });
  if (!nameHasCode) {
    return Format("its model line (line %d, \"%s\") names model %s, but its name does not begin "
                  "with a model's three-digit code (a file for model %d is named %d-...)",
                  survey.modelLineNumber, survey.modelLineText.c_str(), named.c_str(),
                  survey.modelCodesNamed.front(), survey.modelCodesNamed.front());
  }
  return Format("its model line (line %d, \"%s\") names model %s, its name model %d",
                survey.modelLineNumber, survey.modelLineText.c_str(), named.c_str(),
                fileModelCode);
}

std::string VerifyObstacle(const RufSurvey& survey, std::int32_t fileModelCode) {
  if (survey.sRecordLines > 0) {
    return "its S-record lines reach the radio without the Verify mode byte, and the radio "
           "writes them";
  }
  for (const ModelRow& row : kModelTable) {
    if (row.fileCode == fileModelCode && row.takesTextLines) {
      return Format("a %.*s takes its lines as text, without the Verify mode byte, and writes "
                    "them",
                    static_cast<int>(row.statusText.size()), row.statusText.data());
    }
  }
  return {};
}

std::string VerifyRefusalReason(const RufSurvey& survey, const std::string& path) {
  const std::string why = VerifyObstacle(survey, ModelCodeOf(ModelPrefixOf(path)));
  if (why.empty()) return {};
  return "A Verify cannot prove that the radio holds " + path + ": " + why + ".";
}

std::string RefusalReason(const RufSurvey& survey, const std::string& path) {
  if (!survey.fileFault.empty()) {
    return Format("The file %s cannot be sent: %s.", path.c_str(), survey.fileFault.c_str());
  }
  if (!survey.formatFaults.empty()) {
    const RufFinding& first = survey.formatFaults.front();
    return Format("The file %s breaks the update file format at line %d (%s).", path.c_str(),
                  first.lineNumber, first.text.c_str());
  }
  if (!survey.checksumErrors.empty()) {
    const RufFinding& first = survey.checksumErrors.front();
    return Format("The file %s has a wrong record checksum at line %d (%s).", path.c_str(),
                  first.lineNumber, first.text.c_str());
  }
  if (!survey.unplaceable.empty()) {
    const RufFinding& first = survey.unplaceable.front();
    return Format("The radio cannot place the data of the file %s as it says: line %d holds %s.",
                  path.c_str(), first.lineNumber, first.text.c_str());
  }
  if (const std::string conflict = ModelLineConflict(survey, ModelCodeOf(ModelPrefixOf(path)));
      !conflict.empty()) {
    return Format("The file %s is not for the model its name gives: %s.", path.c_str(),
                  conflict.c_str());
  }
  return {};
}

std::string WarningSummary(const RufSurvey& survey) {
  if (survey.warnings.empty()) return {};
  const RufFinding& first = survey.warnings.front();
  return Format("Warning: line %d of this file holds %s%s.", first.lineNumber, first.text.c_str(),
                survey.warningCount > 1
                    ? Format(" (and %d more such lines)", survey.warningCount - 1).c_str()
                    : "");
}

}  // namespace flash
