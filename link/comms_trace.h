#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "engine/clock.h"
#include "engine/trace_sink.h"

namespace flash {

// The communication trace, comms.txt: created anew by every operation, written in
// text mode ("\n" is stored as CR LF) with UTC timestamps. Each record reaches the
// file (the kernel) when it is written, so the trace can be followed while an
// operation runs and survives the program being killed. While open, the trace is
// held with an advisory lock: a second program tracing in the same folder is
// refused instead of emptying this one.
class CommsTrace final : public TraceSink {
 public:
  explicit CommsTrace(Clock& clock);
  ~CommsTrace() override;
  CommsTrace(const CommsTrace&) = delete;
  CommsTrace& operator=(const CommsTrace&) = delete;

  // Where the next Open writes; "comms.txt" in the current directory by default.
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& path() const override { return path_; }

  // Creates or empties the file and writes "Log File Begin". A trace still open
  // from an earlier operation is closed first. False when it cannot be opened;
  // openFailure() then says why.
  bool Open() override;
  bool IsOpen() const override { return fd_ >= 0; }
  void Close() override;
  TraceOpenFailure openFailure() const override { return openFailure_; }

  // Writes text as it stands (nothing when closed).
  void Write(std::string_view text) override;
  void TraceReceived(std::string_view text) override;
  void TraceSent(std::string_view text) override;
  void TraceEvent(std::string_view source, std::string_view text) override;

  // True once a write or the closing of this opening failed (a full disk).
  bool writeFailed() const override { return writeFailed_; }
  std::string failureReason() const override { return failureReason_; }

  static std::string FormatTimestamp(const UtcTimeOfDay& t);

 private:
  // The timestamp and the parts, as one record.
  void WriteTimestamped(std::initializer_list<std::string_view> parts);
  // Appends text to record_ with every line feed stored as CR LF.
  void AppendText(std::string_view text);
  // Hands record_ to the file in one write and empties it.
  void WriteRecord();
  void NoteWriteFailure(int error);

  Clock& clock_;
  std::string path_ = "comms.txt";
  int fd_ = -1;
  TraceOpenFailure openFailure_ = TraceOpenFailure::None;
  bool writeFailed_ = false;
  std::string failureReason_;
  std::string record_;  // kept between records so that a record costs no allocation
};

}  // namespace flash
