#include "tests/app/radio_sim_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace flash::test {
namespace {

constexpr auto kReadyTimeout = std::chrono::seconds{5};  // the ready line comes at once

}  // namespace

RadioSimProcess::RadioSimProcess(const std::vector<std::string>& options) {
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<std::string> words = {RADIO_SIM_PATH};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  stdout_ = out[0];

  std::string text;
  const auto end = std::chrono::steady_clock::now() + kReadyTimeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd p = {stdout_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    char buffer[256];
    const ssize_t n = read(stdout_, buffer, sizeof buffer);
    if (n <= 0) return;
    text.append(buffer, static_cast<std::size_t>(n));
    // The ready line is the one naming where the radio answers.
    const std::size_t on = text.find(" radio on ");
    if (on != std::string::npos) {
      const std::size_t lineEnd = text.find('\n', on);
      if (lineEnd != std::string::npos) {
        endpoint_ = text.substr(on + 10, lineEnd - on - 10);
        return;
      }
    }
  }
}

RadioSimProcess::~RadioSimProcess() {
  Stop();
  if (stdout_ >= 0) close(stdout_);
}

int RadioSimProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace flash::test
