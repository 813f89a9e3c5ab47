#pragma once

#include <string>
#include <string_view>

namespace flash {

// Why the last TraceSink::Open left the trace closed.
enum class TraceOpenFailure {
  None,
  CannotCreate,     // no such folder, no permission, a folder in its place
  InUse,            // another program (or another opening here) holds the trace
  NotARegularFile,  // a symbolic link, a pipe or a device: left alone
  InputFile,        // a file the run reads (update.ini): left alone
};

// Where the engine writes the communication trace: every request (" R< "), every
// answer (" R> ") and its notes, each with a timestamp. The file writer lives
// with the links.
class TraceSink {
 public:
  virtual ~TraceSink() = default;

  // The file the trace goes to, for messages and for refusing a trace that would
  // overwrite the update file.
  virtual const std::string& path() const = 0;
  // Creates or empties the trace and writes its first line. False when it cannot
  // be opened; openFailure() then says why.
  virtual bool Open() = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  virtual TraceOpenFailure openFailure() const = 0;

  // Writes text as it stands (nothing when closed).
  virtual void Write(std::string_view text) = 0;
  virtual void TraceReceived(std::string_view text) = 0;
  virtual void TraceSent(std::string_view text) = 0;
  virtual void TraceEvent(std::string_view source, std::string_view text) = 0;

  // True once a write or the closing of this opening failed (a full disk).
  virtual bool writeFailed() const = 0;
  // Why the last opening or write failed, in words ("No space left on device");
  // empty when it is not known.
  virtual std::string failureReason() const { return {}; }
};

}  // namespace flash
