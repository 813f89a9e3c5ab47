#pragma once

#include <cstddef>
#include <cstdint>
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

// A RUF file larger than this is refused: the biggest images are a few megabytes.
inline constexpr std::size_t kMaxRufFileSize = 64u * 1024 * 1024;

// Reads a whole RUF file into memory, bytes as stored ("rb"). The counting pass
// and the sending pass both read this one copy, so a file rewritten on disk while
// it is being sent cannot make them disagree. False when the file cannot be read
// or is larger than kMaxRufFileSize.
bool LoadRufFile(const std::string& path, std::string& content);

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Splits a file's bytes into pieces of at most 254 characters, each keeping its
// line ending. A UTF-8 byte-order mark at the start is passed over.
class RufPieces {
 public:
  RufPieces() = default;
  explicit RufPieces(std::string_view bytes) : bytes_(bytes) {}
  // The next piece, or false at the end. continuation is true when the piece
  // continues a line that did not fit.
  bool Next(std::string_view& piece, bool& continuation);
  // The number of the line the last piece belongs to, from 1.
  int lineNumber() const { return lineNumber_; }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
  bool midLine_ = false;
  int lineNumber_ = 0;
};

// Reads a RUF file's lines from its own copy of the file's bytes.
class RufReader {
 public:
  RufReader() = default;
  RufReader(const RufReader&) = delete;
  RufReader& operator=(const RufReader&) = delete;

  // Reads from the file at path (false when it cannot be loaded), or from bytes.
  bool Open(const std::string& path);
  void OpenBytes(std::string bytes);
  bool IsOpen() const { return open_; }
  void Close();
  // The next piece, or false at the end of the file (or when closed).
  // continuation is true when the piece continues a line that did not fit.
  bool ReadLine(std::string& line, bool& continuation);
  int lineNumber() const { return pieces_.lineNumber(); }

 private:
  std::string bytes_;
  RufPieces pieces_;
  bool open_ = false;
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

// The model code a file is for: the decimal value of the first three characters
// of its name, read as atoi reads it.
std::string ModelPrefixOf(std::string_view path);
std::int32_t ModelCodeOf(std::string_view prefix);

}  // namespace flash
