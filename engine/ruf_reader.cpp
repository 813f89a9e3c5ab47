#include "engine/ruf_reader.h"

#include <cctype>
#include <cstdio>

#include "engine/number_text.h"
#include "engine/text_format.h"

namespace flash {
namespace {

std::string Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u == '\r') return "CR";
  if (u == '\n') return "LF";
  if (std::isprint(u)) return Format("'%c'", c);
  return Format("byte 0x%02X", u);
}

// The hex byte at column, or a fault naming the column. Never reads past the line.
std::string ReadHexByte(std::string_view line, std::size_t column, std::uint8_t& out) {
  for (std::size_t i = column; i < column + 2; ++i) {
    if (i >= line.size()) return Format("line ends at column %zu, a hex digit was expected", i);
    if (HexDigitValue(line[i]) < 0) {
      return Format("%s at column %zu is not a hex digit", Printable(line[i]).c_str(), i);
    }
  }
  out = static_cast<std::uint8_t>(HexDigitValue(line[column]) * 16 + HexDigitValue(line[column + 1]));
  return {};
}

std::size_t ContentLength(std::string_view line) {
  std::size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return n;
}

// Only blanks and the line ending may follow a record's checksum. Anything else
// is another line that the reading would take as part of this one.
std::string TrailingFault(std::string_view line, std::size_t column) {
  bool carriageReturn = false;
  for (std::size_t i = column; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\r') carriageReturn = true;
    if (c != '\r' && c != '\n' && c != ' ' && c != '\t') {
      return carriageReturn ? "text after the record's checksum (carriage-return line ends?)"
                            : Format("text after the record's checksum at column %zu", i);
    }
  }
  return {};
}

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

bool LoadRufFile(const std::string& path, std::string& content) {
  content.clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char chunk[65536];
  bool fits = true;
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (content.size() + got > kMaxRufFileSize) {
      fits = false;
      break;
    }
    content.append(chunk, got);
  }
  const bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (!fits || readError) content.clear();
  return fits && !readError;
}

bool RufPieces::Next(std::string_view& piece, bool& continuation) {
  if (position_ == 0 && bytes_.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
    position_ = kUtf8ByteOrderMark.size();
  }
  std::size_t n = 0;
  while (position_ + n < bytes_.size() && n < kMaxLinePiece) {
    if (bytes_[position_ + n++] == '\n') break;
  }
  if (n == 0) return false;
  piece = bytes_.substr(position_, n);
  position_ += n;
  continuation = midLine_;
  if (!midLine_) ++lineNumber_;
  // A piece that stopped exactly at the end of the file is complete.
  midLine_ = piece.back() != '\n' && position_ < bytes_.size();
  return true;
}

bool RufReader::Open(const std::string& path) {
  std::string bytes;
  if (!LoadRufFile(path, bytes)) {
    Close();
    return false;
  }
  OpenBytes(std::move(bytes));
  return true;
}

void RufReader::OpenBytes(std::string bytes) {
  bytes_ = std::move(bytes);
  pieces_ = RufPieces(bytes_);
  open_ = true;
}

void RufReader::Close() {
  open_ = false;
  bytes_.clear();
  bytes_.shrink_to_fit();
  pieces_ = RufPieces(bytes_);
}

bool RufReader::ReadLine(std::string& line, bool& continuation) {
  line.clear();
  std::string_view piece;
  if (!open_ || !pieces_.Next(piece, continuation)) return false;
  line.assign(piece);
  return true;
}

LineKind ClassifyLine(std::string_view line, bool continuation) {
  if (continuation || line.empty()) return LineKind::Undefined;
  switch (line[0]) {
    case ':': return LineKind::IntelHex;
    case 'S': return LineKind::SRecord;
    case ';': return LineKind::Comment;
    case '#': break;
    default: return LineKind::Undefined;
  }
  if (line.size() < 2) return LineKind::Undefined;
  switch (line[1]) {
    case '>': return LineKind::PassThrough;
    case 'E': return LineKind::EDirective;
    case 'G': return LineKind::GDirective;
    case 'M': return LineKind::ModelHeader;
    case 'U': return LineKind::Unlock;
    case 'V': return LineKind::FormatHeader;
    default: return LineKind::Undefined;
  }
}

std::string ParseIntelHex(std::string_view line, IntelRecord& record) {
  std::uint8_t count = 0;
  if (auto fault = ReadHexByte(line, 1, count); !fault.empty()) return "byte count: " + fault;
  if (count > 127) return Format("byte count %u is more than a line can hold", count);
  const std::size_t needed = 11 + 2 * static_cast<std::size_t>(count);
  if (ContentLength(line) < needed) {
    return Format("record of %u data bytes needs %zu characters, the line has %zu", count, needed,
                  ContentLength(line));
  }
  record.byteCount = static_cast<std::int8_t>(count);
  if (auto fault = ReadHexByte(line, 3, record.addressHigh); !fault.empty()) return "address: " + fault;
  if (auto fault = ReadHexByte(line, 5, record.addressLow); !fault.empty()) return "address: " + fault;
  if (auto fault = ReadHexByte(line, 7, record.recordType); !fault.empty()) {
    return "record type: " + fault;
  }
  unsigned sum = count + record.addressHigh + record.addressLow + record.recordType;
  for (std::size_t i = 0; i < count; ++i) {
    if (auto fault = ReadHexByte(line, 9 + 2 * i, record.data[i]); !fault.empty()) {
      return "data: " + fault;
    }
    sum += record.data[i];
  }
  if (auto fault = ReadHexByte(line, 9 + 2 * count, record.lineChecksum); !fault.empty()) {
    return "checksum: " + fault;
  }
  record.calcChecksum = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
  return TrailingFault(line, 11 + 2 * static_cast<std::size_t>(count));
}

std::string ParseSRecord(std::string_view line, SRecord& record) {
  if (line.size() < 2 || HexDigitValue(line[1]) < 0 || std::islower(static_cast<unsigned char>(line[1]))) {
    return "the record type after 'S' is not a hex digit";
  }
  record.recordType = HexDigitValue(line[1]);
  std::uint8_t count = 0;
  if (auto fault = ReadHexByte(line, 2, count); !fault.empty()) return "byte count: " + fault;
  if (count > 127) return Format("byte count %u is more than a line can hold", count);
  record.byteCount = static_cast<std::int8_t>(count);
  if (count == 0) return TrailingFault(line, 4);
  const std::size_t needed = 4 + 2 * static_cast<std::size_t>(count);
  if (ContentLength(line) < needed) {
    return Format("record with byte count %u needs %zu characters, the line has %zu", count, needed,
                  ContentLength(line));
  }
  unsigned sum = count;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (auto fault = ReadHexByte(line, 4 + 2 * i, record.body[i]); !fault.empty()) {
      return "address or data: " + fault;
    }
    sum += record.body[i];
  }
  if (auto fault = ReadHexByte(line, 2 + 2 * count, record.lineChecksum); !fault.empty()) {
    return "checksum: " + fault;
  }
  record.calcChecksum = static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
  return TrailingFault(line, 4 + 2 * static_cast<std::size_t>(count));
}

std::string ParseDirectiveBytes(std::string_view line, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    if (auto fault = ReadHexByte(line, 2 + 2 * i, out[i]); !fault.empty()) return fault;
  }
  return {};
}

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
    if (!reached && !continuation && ContentLength(line) > 0) ++linesNeverRead;
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
             : ContentLength(line) == 0 ? "blank line"
                                        : "no line kind begins with " + Printable(line[0]));
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

std::string ModelPrefixOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(name.substr(0, 3));
}

std::int32_t ModelCodeOf(std::string_view prefix) { return ReadLeadingDecimal(prefix).value_or(0); }

}  // namespace flash
