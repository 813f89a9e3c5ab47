#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "operation/clock.h"

namespace flash {

// The communication trace, comms.txt: created anew by every operation, written in
// text mode ("\n" is stored as CR LF) with UTC timestamps.
class CommsTrace {
 public:
  explicit CommsTrace(Clock& clock);
  ~CommsTrace();
  CommsTrace(const CommsTrace&) = delete;
  CommsTrace& operator=(const CommsTrace&) = delete;

  // Where the next Open writes; "comms.txt" in the current directory by default.
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& path() const { return path_; }

  // Creates or empties the file and writes "Log File Begin". A trace still open
  // from an earlier operation is closed first. False when it cannot be opened.
  bool Open();
  bool IsOpen() const { return file_ != nullptr; }
  void Close();
  // Pushes buffered records to the file (the trace is otherwise written when the
  // buffer fills or the file is closed).
  void Flush();

  // Writes text as it stands (nothing when closed).
  void Write(std::string_view text);
  void TraceReceived(std::string_view text);
  void TraceSent(std::string_view text);
  void TraceEvent(std::string_view source, std::string_view text);

  // True once a write or the closing of this opening failed (a full disk).
  bool writeFailed() const { return writeFailed_; }

  static std::string FormatTimestamp(const UtcTimeOfDay& t);

 private:
  void WriteTimestamped(std::string_view marker, std::string_view text,
                        std::string_view tail);

  Clock& clock_;
  std::string path_ = "comms.txt";
  std::FILE* file_ = nullptr;
  bool writeFailed_ = false;
};

}  // namespace flash
