#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

// A read ends after a line feed or after this many characters.
inline constexpr std::size_t kMaxLinePiece = 254;

enum class LineKind {
  IntelHex,      // ':'
  SRecord,       // 'S'
  Comment,       // ';'
  PassThrough,   // "#>"
  EDirective,    // "#E"
  GDirective,    // "#G"
  ModelHeader,   // "#M"
  Unlock,        // "#U"
  FormatHeader,  // "#V"
  Undefined,     // anything else, and the later pieces of an over-long line
};

// Reads a RUF file in pieces of at most 254 characters, each keeping its line
// ending. The file is opened "rb": bytes as stored.
class RufReader {
 public:
  RufReader() = default;
  ~RufReader();
  RufReader(const RufReader&) = delete;
  RufReader& operator=(const RufReader&) = delete;

  bool Open(const std::string& path);
  bool IsOpen() const { return file_ != nullptr; }
  void Close();
  // The next piece, or false at the end of the file (or when closed).
  // continuation is true when the piece continues a line that did not fit.
  bool ReadLine(std::string& line, bool& continuation);
  int lineNumber() const { return lineNumber_; }

 private:
  std::FILE* file_ = nullptr;
  bool midLine_ = false;
  int lineNumber_ = 0;
};

LineKind ClassifyLine(std::string_view line, bool continuation);

// The fields of one Intel HEX record.
struct IntelRecord {
  std::int8_t byteCount = 0;
  std::uint8_t addressHigh = 0;
  std::uint8_t addressLow = 0;
  std::uint8_t recordType = 0;
  std::uint8_t data[128] = {};
  std::uint8_t lineChecksum = 0;
  std::uint8_t calcChecksum = 0;  // two's complement of the sum
};

// The fields of one S-record (types other than 0 and 7).
struct SRecord {
  int recordType = 0;  // 0..15
  std::int8_t byteCount = 0;
  std::uint8_t body[128] = {};  // address and data: byteCount - 1 bytes
  std::uint8_t lineChecksum = 0;
  std::uint8_t calcChecksum = 0;  // one's complement of the sum
};

// Parsers answer an empty text on success, or the format fault found.
std::string ParseIntelHex(std::string_view line, IntelRecord& record);
std::string ParseSRecord(std::string_view line, SRecord& record);
// The bytes of an "#E" (3) or "#G" (4) directive at columns 2, 4, 6 (and 8).
std::string ParseDirectiveBytes(std::string_view line, std::size_t count, std::uint8_t* out);

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
  std::vector<RufFinding> formatFaults;
  std::vector<RufFinding> checksumErrors;
  std::vector<RufFinding> undefinedLines;
  int formatFaultCount = 0;
  int checksumErrorCount = 0;
  int undefinedLineCount = 0;
};

// Reads the whole file the way an operation does. At most kMaxFindings of each
// kind are kept in the lists; the counts are complete.
inline constexpr std::size_t kMaxFindings = 100;
RufSurvey SurveyRufFile(const std::string& path);

// The model code a file is for: the decimal value of the first three characters
// of its name, read as atoi reads it.
std::string ModelPrefixOf(std::string_view path);
std::int32_t ModelCodeOf(std::string_view prefix);

}  // namespace flash
