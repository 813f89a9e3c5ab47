#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace flash::test {

// The radio-sim program as a child process: started with the given options, it
// prints the pseudo-terminal (or UDP endpoint) it answers on; SIGTERM ends it.
class RadioSimProcess {
 public:
  explicit RadioSimProcess(const std::vector<std::string>& options);
  ~RadioSimProcess();
  RadioSimProcess(const RadioSimProcess&) = delete;
  RadioSimProcess& operator=(const RadioSimProcess&) = delete;

  // The last word of the ready line, e.g. "/dev/pts/3"; empty when none came in time.
  const std::string& endpoint() const { return endpoint_; }
  // Ends the radio and answers its exit status (-1 when it did not exit normally).
  int Stop();

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  std::string endpoint_;
};

}  // namespace flash::test
