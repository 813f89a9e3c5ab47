#pragma once

#include <cstddef>
#include <string>

namespace flash {

// More than any list of links or settings file holds: something else is in its place.
inline constexpr std::size_t kSmallTextFileLimit = 1 << 20;  // bytes

// A small text file the tools take their settings from (update.ini, a --links
// file), read by one rule: a regular file only, opened without blocking (a pipe
// nobody writes must not hang the program, a device like /dev/zero must not fill
// the memory), at most kSmallTextFileLimit bytes, a UTF-8 byte-order mark passed
// over, and no NUL byte nor control character other than tab, CR and LF.
struct SmallTextFile {
  enum class Result { Read, Missing, Refused };
  Result result = Result::Refused;
  std::string text;           // without the byte-order mark
  bool byteOrderMark = false;  // the file began with one
  // Why it was refused, a clause for after the file's name: "it is a pipe or a
  // device, not a regular file", "line 3, column 7 holds a NUL byte; ...".
  std::string reason;
};

SmallTextFile ReadSmallTextFile(const std::string& path);

}  // namespace flash
