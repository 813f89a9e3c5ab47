#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace flash::test {

// Runs body in a forked child, where it may change its user or its limits without
// touching the test process, and answers the child's exit status (-1 for a signal).
template <typename Body>
int InChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace flash::test
