#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace flash::test {

struct ChildOptions {
  std::vector<std::string> argv;  // argv[0] is the program's path
  std::string workingDirectory;   // empty: the test's own
  // Standard input and output on a new pseudo-terminal that is the child's
  // controlling terminal; otherwise both are pipes and the child has none.
  bool terminal = false;
  // Variables set in the child's environment, name and value.
  std::vector<std::pair<std::string, std::string>> environment;
  // Standard output on a pipe that starts full, as when the reader of a pipeline
  // stopped reading, and is read only after ReleaseOutput (without terminal).
  bool heldOutput = false;
  // Descriptors the child starts with closed (0 to 2).
  std::vector<int> closedDescriptors;
};

// A program run by a test or a benchmark, in a session of its own, its output collected.
class ChildProcess {
 public:
  explicit ChildProcess(const ChildOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // The moment just before the child was forked.
  std::chrono::steady_clock::time_point startTime() const { return startTime_; }

  using Seen = std::function<bool(const std::string&)>;
  // Collects output until seen(stdout so far) is true or the time runs out; false on a timeout.
  bool WaitForOutput(const Seen& seen, std::chrono::milliseconds timeout) {
    return WaitFor(out_, seen, timeout);
  }
  // The same for standard error.
  bool WaitForErrorOutput(const Seen& seen, std::chrono::milliseconds timeout) {
    return WaitFor(err_, seen, timeout);
  }
  // The next line of standard output that contains mark, or an empty text when the
  // output ended or the time ran out first. *arrival gets the moment it was read.
  std::string WaitForLine(const std::string& mark, std::chrono::milliseconds timeout,
                          std::chrono::steady_clock::time_point* arrival = nullptr);
  // From now on a held standard output is read.
  void ReleaseOutput() { held_ = false; }
  // Writes to the child's standard input (its terminal when it has one).
  void Type(const std::string& text);
  void Signal(int signalNumber);
  // The exit status; -1 when it did not exit within the time (it is then killed),
  // 128 + n when a signal n ended it.
  int Wait(std::chrono::milliseconds timeout);
  // The child's peak resident memory in KiB, once Wait saw it exit.
  long peakMemoryKiB() const { return peakKiB_; }

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  bool Readable() const { return (!held_ && outFd_ >= 0) || errFd_ >= 0; }
  // Reads what arrives within the time; false when nothing did.
  bool Collect(int timeoutMs);
  bool WaitFor(const std::string& collected, const Seen& seen, std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1, inFd_ = -1;  // pipes, or the terminal's master side
  bool held_ = false;
  std::size_t filler_ = 0;  // bytes a held output was filled with, not yet read
  bool exited_ = false;
  int status_ = -1;
  long peakKiB_ = 0;
  std::chrono::steady_clock::time_point startTime_{};
  std::chrono::steady_clock::time_point outputTime_{};  // of the last read of standard output
  std::size_t linesScanned_ = 0;  // bytes of out_ that WaitForLine went through
  std::string out_;
  std::string err_;
};

}  // namespace flash::test
