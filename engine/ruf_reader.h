#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace flash {

// A read ends after a line feed or after this many characters.
inline constexpr std::size_t kMaxLinePiece = 254;
// A RUF file larger than this is refused: the biggest images are a few megabytes.
inline constexpr std::size_t kMaxRufFileSize = 64u * 1024 * 1024;

// Reads a whole RUF file into memory, bytes as stored ("rb"). The counting pass
// and the sending pass both read this one copy, so a file rewritten on disk while
// it is being sent cannot make them disagree. False when the file cannot be read
// or is larger than kMaxRufFileSize; reason then says why.
bool LoadRufFile(const std::string& path, std::string& content, std::string* reason = nullptr);

// Why a file of size bytes is refused, naming its size and the limit; an empty
// text when it is within the limit.
std::string RufFileSizeFault(std::uintmax_t size);

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
// The model code a file is for: the decimal value of the first three characters
// of its name, read as atoi reads it.
std::string ModelPrefixOf(std::string_view path);
std::int32_t ModelCodeOf(std::string_view prefix);

}  // namespace flash
