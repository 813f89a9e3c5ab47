#pragma once

#include <string>
#include <string_view>

#include "cli/console_output.h"
#include "engine/clock.h"
#include "engine/trace_sink.h"

namespace flash {

// --verbose: the trace goes to its file as always, and each of its lines is shown
// in the log as it is written, also when there is no trace file.
class TraceEcho final : public TraceSink {
 public:
  TraceEcho(TraceSink& file, Clock& clock, ConsoleOutput& console)
      : file_(file), clock_(clock), console_(console) {}

  const std::string& path() const override { return file_.path(); }
  bool Open() override { return file_.Open(); }
  bool IsOpen() const override { return file_.IsOpen(); }
  void Close() override { file_.Close(); }
  TraceOpenFailure openFailure() const override { return file_.openFailure(); }
  bool writeFailed() const override { return file_.writeFailed(); }

  void Write(std::string_view text) override;
  void TraceReceived(std::string_view text) override;
  void TraceSent(std::string_view text) override;
  void TraceEvent(std::string_view source, std::string_view text) override;

 private:
  void Show(std::string_view marker, std::string_view text, std::string_view end);

  TraceSink& file_;
  Clock& clock_;
  ConsoleOutput& console_;
};

}  // namespace flash
