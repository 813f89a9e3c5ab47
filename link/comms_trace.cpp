#include "link/comms_trace.h"

#include "operation/text_format.h"

namespace flash {

CommsTrace::CommsTrace(Clock& clock) : clock_(clock) {}

CommsTrace::~CommsTrace() { Close(); }

bool CommsTrace::Open() {
  // Each operation's trace begins anew, even when an earlier one was left open.
  Close();
  writeFailed_ = false;
  file_ = std::fopen(path_.c_str(), "wb");
  if (file_ == nullptr) return false;
  Write("Log File Begin\n");
  return true;
}

void CommsTrace::Close() {
  if (file_ == nullptr) return;
  if (std::fclose(file_) != 0) writeFailed_ = true;
  file_ = nullptr;
}

void CommsTrace::Flush() {
  if (file_ != nullptr && std::fflush(file_) != 0) writeFailed_ = true;
}

void CommsTrace::Write(std::string_view text) {
  if (file_ == nullptr) return;
  // Text mode: every line feed is stored as CR LF.
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find('\n', start);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    if (end > start && std::fwrite(text.data() + start, 1, end - start, file_) != end - start) {
      writeFailed_ = true;
    }
    if (lf == std::string_view::npos) break;
    if (std::fwrite("\r\n", 1, 2, file_) != 2) writeFailed_ = true;
    start = lf + 1;
  }
  if (std::ferror(file_)) writeFailed_ = true;
}

std::string CommsTrace::FormatTimestamp(const UtcTimeOfDay& t) {
  return Format("%02u:%02u:%02u:%04u", t.hour, t.minute, t.second, t.millisecond);
}

void CommsTrace::WriteTimestamped(std::string_view marker, std::string_view text,
                                  std::string_view tail) {
  if (file_ == nullptr) return;
  Write(FormatTimestamp(clock_.UtcNow()));
  std::string record;
  record.reserve(marker.size() + text.size() + tail.size());
  record.append(marker).append(text).append(tail);
  Write(record);
}

void CommsTrace::TraceReceived(std::string_view text) { WriteTimestamped(" R> ", text, "\n"); }

void CommsTrace::TraceSent(std::string_view text) { WriteTimestamped(" R< ", text, "\n"); }

void CommsTrace::TraceEvent(std::string_view source, std::string_view text) {
  if (file_ == nullptr) return;
  std::string body;
  body.append(source).append(" ").append(text);
  WriteTimestamped("[[", body, "]]\n");
}

}  // namespace flash
