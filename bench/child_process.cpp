#include "bench/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace flash::bench {
namespace {

using Clock = std::chrono::steady_clock;

int StatusCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment,
                           const std::string& workingDirectory) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  // Built before the fork: the child only calls async-signal-safe functions.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
  envText.insert(envText.end(), environment.begin(), environment.end());
  std::vector<char*> env;
  for (const std::string& entry : envText) env.push_back(const_cast<char*>(entry.c_str()));
  env.push_back(nullptr);
  const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);

  startTime_ = Clock::now();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(nullFd, STDIN_FILENO);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::dup2(nullFd, STDERR_FILENO);
    if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
    ::execve(args[0], args.data(), env.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  if (nullFd >= 0) ::close(nullFd);
  if (pid_ < 0) {
    ::close(pipeFds[0]);
    return;
  }
  outFd_ = pipeFds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) Stop(SIGKILL, std::chrono::milliseconds(2000));
  if (outFd_ >= 0) ::close(outFd_);
}

std::string ChildProcess::WaitForLine(const std::string& mark, std::chrono::milliseconds timeout,
                                      Clock::time_point* arrival) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    for (std::size_t end; (end = out_.find('\n', scanned_)) != std::string::npos;) {
      std::string line = out_.substr(scanned_, end - scanned_);
      scanned_ = end + 1;
      if (line.find(mark) != std::string::npos) return line;
    }
    if (outFd_ < 0) return {};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return {};
    pollfd wait{outFd_, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char buffer[4096];
    const ssize_t n = ::read(outFd_, buffer, sizeof buffer);
    if (arrival != nullptr) *arrival = Clock::now();
    if (n <= 0) {
      ::close(outFd_);
      outFd_ = -1;
      continue;
    }
    out_.append(buffer, static_cast<std::size_t>(n));
  }
}

void ChildProcess::Reap(int options) {
  if (reaped_ || pid_ <= 0) return;
  int status = 0;
  rusage usage{};
  const pid_t done = ::wait4(pid_, &status, options, &usage);
  if (done != pid_) return;
  reaped_ = true;
  status_ = StatusCode(status);
  peakKiB_ = usage.ru_maxrss;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!reaped_ && Clock::now() < deadline) {
    Reap(WNOHANG);
    if (!reaped_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    Reap(0);
    return -1;
  }
  return status_;
}

int ChildProcess::Stop(int signalNumber, std::chrono::milliseconds timeout) {
  if (!reaped_ && pid_ > 0) ::kill(pid_, signalNumber);
  return Wait(timeout);
}

}  // namespace flash::bench
