#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace flash::bench {

// A program run as a child with its standard output (and, if asked, its
// standard error) on pipes the benchmark reads.
class ChildProcess {
 public:
  // environment: extra NAME=VALUE entries on top of the benchmark's own.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
               const std::string& workingDirectory = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The moment just before the child was forked.
  std::chrono::steady_clock::time_point startTime() const { return startTime_; }

  // Reads standard output until a line containing mark has arrived; that line,
  // or an empty text when the child ended or the time ran out. *arrival gets the
  // moment the line was read.
  std::string WaitForLine(const std::string& mark, std::chrono::milliseconds timeout,
                          std::chrono::steady_clock::time_point* arrival = nullptr);
  // Sends the signal and waits for the end; the exit status, 128 + n for a
  // signal n, -1 when it would not end in time (it is then killed).
  int Stop(int signalNumber, std::chrono::milliseconds timeout);
  // Waits for the end; as Stop.
  int Wait(std::chrono::milliseconds timeout);
  // The child's peak resident memory in KiB, once it has been waited for.
  long peakMemoryKiB() const { return peakKiB_; }
  const std::string& out() const { return out_; }

 private:
  void Reap(int options);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int status_ = -1;
  bool reaped_ = false;
  long peakKiB_ = 0;
  std::string out_;
  std::size_t scanned_ = 0;
  std::chrono::steady_clock::time_point startTime_{};
};

}  // namespace flash::bench
