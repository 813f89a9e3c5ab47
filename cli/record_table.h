#pragma once

#include <string>
#include <vector>

#include "cli/station_record.h"

namespace flash {

// The records command: what a record file says, radio by radio.
struct RecordsShown {
  std::string table;                 // for standard output
  std::vector<std::string> skipped;  // "FILE:LINE: not a record (no outcome); skipped"
  std::string error;                 // the file cannot be read: why; nothing else is shown
};

// The last record of each adapter (by its serial number; by its link where it has
// none), in that order, then the totals of those radios by outcome and by model.
std::string RecordsTable(const std::vector<StationRecord>& records);
// Reads the record file at path; a line that is not a record is told and skipped.
RecordsShown ShowRecords(const std::string& path);

}  // namespace flash
