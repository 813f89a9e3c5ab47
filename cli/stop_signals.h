#pragma once

namespace flash {

// SIGINT, SIGTERM and SIGHUP turned into bytes on a pipe that the poll loop
// watches, so that a stop is handled on the main thread between two events.
// SIGPIPE is ignored: a closed output must not kill an operation half-way.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  bool ok() const { return ok_; }
  int fd() const;
  // The first signal that arrived and was not yet taken; 0 when none.
  int Take();

 private:
  bool ok_ = false;
};

}  // namespace flash
