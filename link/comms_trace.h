#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "operation/clock.h"

namespace flash {

// Why the last CommsTrace::Open left the trace closed.
enum class TraceOpenFailure {
  None,
  CannotCreate,     // no such folder, no permission, a folder in its place
  InUse,            // another program (or another opening here) holds the trace
  NotARegularFile,  // a symbolic link, a pipe or a device: left alone
};

// The communication trace, comms.txt: created anew by every operation, written in
// text mode ("\n" is stored as CR LF) with UTC timestamps. Each record reaches the
// file (the kernel) when it is written, so the trace can be followed while an
// operation runs and survives the program being killed. While open, the trace is
// held with an advisory lock: a second program tracing in the same folder is
// refused instead of emptying this one.
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
  // from an earlier operation is closed first. False when it cannot be opened;
  // openFailure() then says why.
  bool Open();
  bool IsOpen() const { return fd_ >= 0; }
  void Close();
  TraceOpenFailure openFailure() const { return openFailure_; }

  // Writes text as it stands (nothing when closed).
  void Write(std::string_view text);
  void TraceReceived(std::string_view text);
  void TraceSent(std::string_view text);
  void TraceEvent(std::string_view source, std::string_view text);

  // True once a write or the closing of this opening failed (a full disk).
  bool writeFailed() const { return writeFailed_; }

  static std::string FormatTimestamp(const UtcTimeOfDay& t);

 private:
  // The timestamp and the parts, as one record.
  void WriteTimestamped(std::initializer_list<std::string_view> parts);
  // Appends text to record_ with every line feed stored as CR LF.
  void AppendText(std::string_view text);
  // Hands record_ to the file in one write and empties it.
  void WriteRecord();

  Clock& clock_;
  std::string path_ = "comms.txt";
  int fd_ = -1;
  TraceOpenFailure openFailure_ = TraceOpenFailure::None;
  bool writeFailed_ = false;
  std::string record_;  // kept between records so that a record costs no allocation
};

}  // namespace flash
