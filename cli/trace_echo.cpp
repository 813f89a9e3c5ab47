#include "cli/trace_echo.h"

#include "link/comms_trace.h"

namespace flash {

void TraceEcho::Show(std::string_view marker, std::string_view text, std::string_view end) {
  console_.PaneText(CommsTrace::FormatTimestamp(clock_.UtcNow()) + std::string(marker) +
                    std::string(text) + std::string(end));
}

void TraceEcho::Write(std::string_view text) {
  file_.Write(text);
  console_.PaneText(text);
}

void TraceEcho::TraceReceived(std::string_view text) {
  file_.TraceReceived(text);
  Show(" R> ", text, "\n");
}

void TraceEcho::TraceSent(std::string_view text) {
  file_.TraceSent(text);
  Show(" R< ", text, "\n");
}

void TraceEcho::TraceEvent(std::string_view source, std::string_view text) {
  file_.TraceEvent(source, text);
  Show("[[", std::string(source) + " " + std::string(text), "]]\n");
}

}  // namespace flash
