#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace flash::test {

// The kernel's id of the calling thread.
inline pid_t CurrentThreadId() { return ::gettid(); }

// Whether a thread of this process is still running: an ended thread leaves
// /proc/self/task even before it is joined.
inline bool ThreadRunning(pid_t threadId) {
  return threadId > 0 && std::filesystem::exists("/proc/self/task/" + std::to_string(threadId));
}

}  // namespace flash::test
