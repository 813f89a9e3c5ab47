#include "link/comms_trace.h"

#include "link/write_all.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/text_format.h"
#include "link/output_file.h"

namespace flash {
namespace {

constexpr mode_t kNewTraceMode = 0644;  // before the umask

}  // namespace

CommsTrace::CommsTrace(Clock& clock) : clock_(clock) {}

CommsTrace::~CommsTrace() { Close(); }

bool CommsTrace::Open() {
  // Each operation's trace begins anew, even when an earlier one was left open.
  Close();
  writeFailed_ = false;
  failureReason_.clear();
  openFailure_ = TraceOpenFailure::None;

  // A link, a pipe or a device in the trace's place is not ours to write (the
  // trace is written while a radio is flashed: a pipe or a device could hold the
  // exchange up), and neither is update.ini. Not emptied yet: another program's
  // trace is emptied only once its lock is ours.
  OutputProblem problem;
  const int fd = OpenOutputFile(path_, RunInputs(""), OutputNaming::ByTool, kNewTraceMode, problem);
  if (fd < 0) {
    openFailure_ = problem.fault == OutputFault::NotPlainFile ? TraceOpenFailure::NotARegularFile
                   : problem.fault == OutputFault::InputFile ? TraceOpenFailure::InputFile
                                                             : TraceOpenFailure::CannotCreate;
    failureReason_ = problem.reason;
    return false;
  }
  TraceOpenFailure failure = TraceOpenFailure::None;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    // Other lock failures (a file system without locks) leave the trace unguarded
    // rather than missing.
    failure = TraceOpenFailure::InUse;
  } else if (::ftruncate(fd, 0) != 0) {
    failure = TraceOpenFailure::CannotCreate;
    failureReason_ = std::strerror(errno);
  }
  if (failure != TraceOpenFailure::None) {
    ::close(fd);
    openFailure_ = failure;
    return false;
  }
  fd_ = fd;
  Write("Log File Begin\n");
  return true;
}

void CommsTrace::NoteWriteFailure(int error) {
  if (!writeFailed_) failureReason_ = std::strerror(error);
  writeFailed_ = true;
}

void CommsTrace::Close() {
  if (fd_ < 0) return;
  // Closing releases the lock; close(2) reports errors of writes still in flight.
  if (::close(fd_) != 0 && errno != EINTR) NoteWriteFailure(errno);
  fd_ = -1;
}

void CommsTrace::AppendText(std::string_view text) {
  // Text mode: every line feed is stored as CR LF.
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      record_.append(text.substr(start));
      break;
    }
    record_.append(text.substr(start, lf - start)).append("\r\n");
    start = lf + 1;
  }
}

void CommsTrace::WriteRecord() {
  if (const int error = WriteAll(fd_, record_); error != 0) NoteWriteFailure(error);
  record_.clear();
}

void CommsTrace::Write(std::string_view text) {
  if (fd_ < 0) return;
  AppendText(text);
  WriteRecord();
}

std::string CommsTrace::FormatTimestamp(const UtcTimeOfDay& t) {
  return Format("%02u:%02u:%02u:%04u", t.hour, t.minute, t.second, t.millisecond);
}

void CommsTrace::WriteTimestamped(std::initializer_list<std::string_view> parts) {
  if (fd_ < 0) return;
  // One write a record: the file never holds half a line, even when the
  // program is killed in the middle of one.
  record_.append(FormatTimestamp(clock_.UtcNow()));
  for (const std::string_view part : parts) AppendText(part);
  WriteRecord();
}

void CommsTrace::TraceReceived(std::string_view text) { WriteTimestamped({" R> ", text, "\n"}); }

void CommsTrace::TraceSent(std::string_view text) { WriteTimestamped({" R< ", text, "\n"}); }

void CommsTrace::TraceEvent(std::string_view source, std::string_view text) {
  WriteTimestamped({"[[", source, " ", text, "]]\n"});
}

}  // namespace flash
