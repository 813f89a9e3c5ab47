#pragma once

#include <string>

namespace flash {

struct FileCheckResult {
  int exitStatus = 0;
  std::string report;  // for standard output
  std::string error;   // for standard error: why the file could not be read
};

// The offline check: reads the file the way an operation does and reports, with
// line numbers, every record with a wrong checksum, every line that breaks the
// format, every record the radio cannot place, every line of no defined kind and
// every warning; then whether a Verify of it is possible. Its status is 1 exactly
// when an operation would refuse the file. Nothing is sent anywhere.
FileCheckResult CheckRufFile(const std::string& path);

// Why a RUF file cannot be read, or an empty text when it can be opened.
std::string RufFileUnreadableReason(const std::string& path);

}  // namespace flash
