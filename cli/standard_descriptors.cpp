#include "cli/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace flash {

void OpenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor, which is fd itself while those below it are open.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened > fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace flash
