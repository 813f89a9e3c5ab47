#include "engine/ruf_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "engine/number_text.h"

namespace flash {

namespace {

std::string SizeLimitText() {
  return std::to_string(kMaxRufFileSize) + " bytes (" + std::to_string(kMaxRufFileSize >> 20) +
         " MiB) a RUF file may have";
}

}  // namespace

std::string RufFileSizeFault(std::uintmax_t size) {
  if (size <= kMaxRufFileSize) return {};
  return "it is too large: " + std::to_string(size) + " bytes, more than the " + SizeLimitText();
}

bool LoadRufFile(const std::string& path, std::string& content, std::string* reason) {
  content.clear();
  const auto fail = [&](std::string why) {
    content.clear();
    if (reason != nullptr) *reason = std::move(why);
    return false;
  };
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return fail(std::strerror(errno));
  // Told before a byte is read: a huge file is not read in vain.
  std::error_code sizeUnknown;
  if (const std::uintmax_t size = std::filesystem::file_size(path, sizeUnknown);
      !sizeUnknown && size > kMaxRufFileSize) {
    std::fclose(file);
    return fail(RufFileSizeFault(size));
  }
  char chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (content.size() + got > kMaxRufFileSize) {
      // It grew while it was read: its size is not known, only that it is too large.
      std::fclose(file);
      return fail("it is too large: more than the " + SizeLimitText());
    }
    content.append(chunk, got);
  }
  const bool readFailed = std::ferror(file) != 0;
  const int readError = errno;
  std::fclose(file);
  if (readFailed) return fail(std::strerror(readError));
  return true;
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
