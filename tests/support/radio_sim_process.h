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
           const std::string& workingDirectory = {})
      : process_([&] {
          ChildOptions options;
          options.argv = {program};
          options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
          options.workingDirectory = workingDirectory;
          return options;
        }()) {
    static constexpr std::string_view kReadyMark = " radio on ";
    const auto ready = [](const std::string& out) {
      const std::size_t at = out.find(kReadyMark);
      return at != std::string::npos && out.find('\n', at) != std::string::npos;
    };
    if (!process_.WaitForOutput(ready, kStartTimeout)) return;  // the ready line comes at once
    const std::size_t at = out().find(kReadyMark) + kReadyMark.size();
    endpoint_ = out().substr(at, out().find('\n', at) - at);
  }

  // The ready line's last word: the pseudo-terminal's path or ADDR:PORT; empty
  // when no ready line came in time.
  const std::string& endpoint() const { return endpoint_; }
  // The port of a UDP radio's ready line; 0 without one.
  int udpPort() const {
    const std::size_t colon = endpoint_.rfind(':');
    return colon == std::string::npos ? 0 : std::stoi(endpoint_.substr(colon + 1));
  }
  // Sends the signal (at SIGINT and SIGTERM it writes its --image-out) and answers
  // its exit status, 128 + n when a signal n ended it.
  int Stop(int signalNumber = SIGINT) {
    process_.Signal(signalNumber);
    return process_.Wait(kStopTimeout);
  }
  // Waits for request number n to arrive (a radio started with --verbose); false on a timeout.
  bool WaitForRequest(int n, std::chrono::milliseconds timeout) {
    const std::string mark = "radio-sim: #" + std::to_string(n) + " ";
    return process_.WaitForErrorOutput(
        [&](const std::string& err) { return err.find(mark) != std::string::npos; }, timeout);
  }
  const std::string& out() const { return process_.out(); }
  const std::string& err() const { return process_.err(); }

 private:
  static constexpr std::chrono::seconds kStartTimeout{5};
  static constexpr std::chrono::seconds kStopTimeout{5};
  ChildProcess process_;
  std::string endpoint_;
};

}  // namespace flash::test
