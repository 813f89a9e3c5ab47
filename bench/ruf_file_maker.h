#pragma once

#include <cstddef>
#include <string>

namespace flash::bench {

// Writes a Program file of Intel HEX data records of 16 bytes each, with the two headers, a type 02 record at every 64 KiB and an
// end record. Past 1 MiB the segments start again at 0: the counting pass reads
// the lines, it never looks where they would land. False when it cannot be written.
bool WriteRecordFile(const std::string& path, std::size_t dataLines);

}  // namespace flash::bench
