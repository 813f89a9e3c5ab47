#include "engine/ruf_reader.h"

#include <cstdio>

#include "engine/number_text.h"

namespace flash {

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
std::string ModelPrefixOf(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  return std::string(name.substr(0, 3));
}

std::int32_t ModelCodeOf(std::string_view prefix) { return ReadLeadingDecimal(prefix).value_or(0); }

}  // namespace flash
