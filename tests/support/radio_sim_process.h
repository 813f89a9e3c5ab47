#pragma once

#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace flash::test {

// The radio-sim program as a child process, waited for until its ready line
// ("radio-sim: serial radio on /dev/pts/N" or "radio-sim: UDP radio on ADDR:PORT").
class RadioSim {
 public:
  RadioSim(const std::string& program, const std::vector<std::string>& arguments,
           const std::string& workingDirectory = {});

  // The ready line's last word: the pseudo-terminal's path or ADDR:PORT; empty
  // when no ready line came in time.
  const std::string& endpoint() const { return endpoint_; }
  // The port of a UDP radio's ready line; 0 without one.
  int udpPort() const;
  // Sends the signal (at SIGINT and SIGTERM it writes its --image-out) and answers
  // its exit status, 128 + n when a signal n ended it.
  int Stop(int signalNumber = SIGINT);
  // Waits for request number n to arrive (a radio started with --verbose); false on a timeout.
  bool WaitForRequest(int n, std::chrono::milliseconds timeout);
  const std::string& out() const { return process_.out(); }
  const std::string& err() const { return process_.err(); }

 private:
  ChildProcess process_;
  std::string endpoint_;
};

}  // namespace flash::test
