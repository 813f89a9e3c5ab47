#pragma once

namespace flash {

struct StopSignalOptions {
  // Calls that a stop signal interrupts resume (SA_RESTART) instead of failing
  // with EINTR.
  bool restartInterruptedCalls = false;
  // SIGPIPE ignored: a closed output must not kill an operation half-way.
  bool ignoreBrokenPipe = true;
};

// SIGINT, SIGTERM and SIGHUP turned into bytes on a pipe that an event loop
// watches, so that a stop is handled on the main thread between two events. The
// handler only writes the signal's number there. One instance at a time: the
// handler knows the pipe by a file-scope descriptor.
class StopSignals {
 public:
  StopSignals() : StopSignals(StopSignalOptions{}) {}
  explicit StopSignals(StopSignalOptions options);
  // The three signals get their default action back.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // False when the pipe or a handler could not be set up; errno then tells why.
  bool ok() const { return ok_; }
  // Readable while a signal waits to be taken.
  int fd() const;
  // The first signal that arrived and was not yet taken; 0 when none.
  int Take();

 private:
  bool ok_ = false;
};

}  // namespace flash
