#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/output_file.h"

namespace flash {

// One operation on a station's radio: the Program, or the Verify after it.
struct StationOperation {
  std::string operation{};  // "program" or "verify"
  std::string outcome{};    // the fleet run's word: "success", "failed", "refused", "stopped", "not-run" ...
  std::string reason{};     // one line from the engine's findings; empty on success
  int linesSent = 0;
  int linesTotal = 0;
  double seconds = 0.0;
};

// What a station keeps of one radio plugged into it: who, what, when and how it ended.
struct StationRecord {
  std::string start{};    // ISO 8601 UTC with milliseconds (IsoUtcMilliseconds)
  std::string end{};
  std::string station{};  // the station's host name
  std::string link{};     // the name that appeared in the watched folder (a by-id name)
  std::string device{};   // the device node it pointed to
  std::string adapterMaker{};  // the USB adapter, as udev knows it; empty where unknown
  std::string adapterModel{};
  std::string adapterSerial{};
  int radioModelCode = 0;  // as the radio reported it; 0: none
  std::string radioModel{};  // the model's name
  std::string dspVersion{};  // as the radio reported it ("1.234")
  std::string file{};        // the RUF file's path
  std::string fileSha256{};  // 64 lower-case hex digits
  int fileDataLines = 0;
  std::vector<StationOperation> operations{};
  std::string outcome{};  // the radio's: its first operation that did not succeed, or success
  std::string reason{};
  int exitStatus = 0;   // as flash-update-cli would exit for this radio alone
  std::string trace{};    // the trace file's path; empty when none was written
};

// "2026-12-07T15:44:19.123Z".
std::string IsoUtcMilliseconds(std::chrono::system_clock::time_point when);
// This machine's host name; "unknown" when the system gives none.
std::string StationHostName();

// The record as one JSON object on one line, ending in a line feed.
std::string RecordJsonLine(const StationRecord& record);
// A line of a record file read back; nothing when it is not a record (why says why).
std::optional<StationRecord> ParseRecordLine(std::string_view line, std::string& why);

// Appends the record to the file at path with one write on a descriptor opened to
// append, and flushes it to the disk before answering: a radio is shown as done only
// once its record is safe. The file obeys the rule of the files the tools write (never
// an input, nor through a symbolic link) and must be a plain file, which alone can be
// flushed to a disk. Answers the reason of a failure ("/srv/records.jsonl: No space
// left on device"), empty on success.
std::string AppendRecord(const std::string& path, const StationRecord& record,
                         const std::vector<InputFile>& inputs);

}  // namespace flash
