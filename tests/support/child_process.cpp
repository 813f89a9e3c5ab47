#include "tests/support/child_process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace flash::test {
namespace {

bool ReadInto(int& fd, std::string& into) {
  char buffer[4096];
  const ssize_t n = ::read(fd, buffer, sizeof buffer);
  if (n > 0) into.append(buffer, static_cast<std::size_t>(n));
  if (n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN))) return true;
  // End of output (a pseudo-terminal answers EIO once its slave is gone).
  ::close(fd);
  fd = -1;
  return false;
}

// The parent's environment with the options' variables set, as "NAME=value" texts.
std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view name = std::string_view(*e).substr(0, std::string_view(*e).find('='));
    if (std::none_of(options.environment.begin(), options.environment.end(),
                     [name](const auto& variable) { return variable.first == name; })) {
      entries.emplace_back(*e);
    }
  }
  for (const auto& [name, value] : options.environment) entries.push_back(name + '=' + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ChildProcess::ChildProcess(const ChildOptions& options) {
  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1}, inPipe[2] = {-1, -1};
  int master = -1, slave = -1;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) return;
  if (options.terminal) {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
  } else if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(inPipe, O_CLOEXEC) != 0) {
    return;
  }
  if (options.heldOutput && !options.terminal) {
    held_ = true;
    ::fcntl(outPipe[1], F_SETFL, O_NONBLOCK);
    const std::string filler(PIPE_BUF, '\0');
    for (ssize_t n = 0; (n = ::write(outPipe[1], filler.data(), filler.size())) > 0;) filler_ += n;
    ::fcntl(outPipe[1], F_SETFL, 0);  // the child's end blocks, as a shell's pipe does
  }
  // Built before the fork: the child of a process with threads (Qt's, a benchmark's)
  // may only call async-signal-safe functions.
  std::vector<std::string> arguments = options.argv;
  std::vector<std::string> environment = ChildEnvironment(options);
  const std::vector<char*> argv = Pointers(arguments);
  const std::vector<char*> envp = Pointers(environment);
  startTime_ = std::chrono::steady_clock::now();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setsid();
    if (options.terminal) ::ioctl(slave, TIOCSCTTY, 0);
    ::dup2(options.terminal ? slave : inPipe[0], STDIN_FILENO);
    ::dup2(options.terminal ? slave : outPipe[1], STDOUT_FILENO);
    ::dup2(errPipe[1], STDERR_FILENO);
    for (int fd : options.closedDescriptors) ::close(fd);
    if (!options.workingDirectory.empty() && ::chdir(options.workingDirectory.c_str()) != 0) {
      _exit(126);
    }
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::close(errPipe[1]);
  errFd_ = errPipe[0];
  if (options.terminal) {
    ::close(slave);
    outFd_ = master;
    inFd_ = ::dup(master);
  } else {
    ::close(outPipe[1]);
    ::close(inPipe[0]);
    outFd_ = outPipe[0];
    inFd_ = inPipe[1];
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (int fd : {outFd_, errFd_, inFd_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool ChildProcess::Collect(int timeoutMs) {
  pollfd watched[2] = {{held_ ? -1 : outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (::poll(watched, 2, timeoutMs) <= 0) return false;
  if (watched[0].revents != 0) {
    ReadInto(outFd_, out_);
    outputTime_ = std::chrono::steady_clock::now();
    const std::size_t skipped = std::min(filler_, out_.size());
    out_.erase(0, skipped);
    filler_ -= skipped;
  }
  if (watched[1].revents != 0) ReadInto(errFd_, err_);
  return true;
}

bool ChildProcess::WaitFor(const std::string& collected, const Seen& seen,
                           std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!seen(collected)) {
    using namespace std::chrono;
    const auto left = duration_cast<milliseconds>(end - steady_clock::now());
    if (left.count() <= 0 || !Readable()) return false;
    Collect(static_cast<int>(left.count()));
  }
  return true;
}

std::string ChildProcess::WaitForLine(const std::string& mark, std::chrono::milliseconds timeout,
                                      std::chrono::steady_clock::time_point* arrival) {
  std::string line;
  const auto found = [&](const std::string& out) {
    for (std::size_t end; (end = out.find('\n', linesScanned_)) != std::string::npos;) {
      line = out.substr(linesScanned_, end - linesScanned_);
      linesScanned_ = end + 1;
      if (line.find(mark) != std::string::npos) return true;
    }
    return false;
  };
  if (!WaitFor(out_, found, timeout)) return {};
  if (arrival != nullptr) *arrival = outputTime_;
  return line;
}

void ChildProcess::Type(const std::string& text) {
  if (inFd_ >= 0) [[maybe_unused]] const ssize_t ignored = ::write(inFd_, text.data(), text.size());
}

void ChildProcess::Signal(int signalNumber) {
  if (pid_ > 0 && !exited_) ::kill(pid_, signalNumber);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  if (pid_ <= 0) return -1;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!exited_) {
    int status = 0;
    rusage usage{};
    if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      peakKiB_ = usage.ru_maxrss;
    } else if (std::chrono::steady_clock::now() >= end) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    } else {
      Collect(10);
      continue;
    }
    exited_ = true;
  }
  // What the child wrote before it ended.
  while (Readable() && Collect(200)) {
  }
  return status_;
}

}  // namespace flash::test
