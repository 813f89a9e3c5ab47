#include "cli/output_channel.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace flash {
namespace {

// A terminal's open file description is shared with the shell: O_NONBLOCK set
// there would make the shell's own reads fail after we exit. A description
// opened anew belongs to this process alone and may be non-blocking.
int OwnNonBlockingDescription(int fd) {
  if (::isatty(fd) != 1) return -1;
  char path[32];
  std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  return ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

OutputChannel::OutputChannel(int fd, std::size_t bound)
    : fd_(fd), ownFd_(OwnNonBlockingDescription(fd)), bound_(bound) {}

OutputChannel::~OutputChannel() {
  if (ownFd_ >= 0) ::close(ownFd_);
}

long OutputChannel::WriteNow(std::string_view text) {
  int fd = ownFd_;
  if (fd < 0) {
    // The shared description blocks: write only when poll reports room, and no
    // more than PIPE_BUF bytes, which a pipe then takes without waiting.
    fd = fd_;
    pollfd room{fd, POLLOUT, 0};
    const int ready = ::poll(&room, 1, 0);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0 || (room.revents & POLLNVAL) != 0) return -1;
    text = text.substr(0, std::min<std::size_t>(text.size(), PIPE_BUF));
  }
  const ssize_t n = ::write(fd, text.data(), text.size());
  if (n >= 0) return n;
  // EINTR: a stop signal came; the event loop sees it before anything is written again.
  if (errno == EAGAIN || errno == EINTR) return 0;
  return -1;
}

void OutputChannel::Write(std::string_view text, bool droppable) {
  if (readerGone_ || text.empty()) return;
  if (!droppable && !waiting_.empty() && !waiting_.back().droppable) {
    waiting_.back().text.append(text);
  } else {
    waiting_.push_back({std::string(text), droppable});
  }
  waitingBytes_ += text.size();
  Flush();
  if (waitingBytes_ > bound_) DropPastBound();
}

void OutputChannel::Flush() {
  while (!waiting_.empty()) {
    Piece& front = waiting_.front();
    const long n = WriteNow(std::string_view(front.text).substr(frontWritten_));
    if (n < 0) {
      // The reader went away: nothing will ever be read, and the operation goes on.
      readerGone_ = true;
      waiting_.clear();
      waitingBytes_ = 0;
      frontWritten_ = 0;
      return;
    }
    if (n == 0) return;
    frontWritten_ += static_cast<std::size_t>(n);
    waitingBytes_ -= static_cast<std::size_t>(n);
    if (frontWritten_ == front.text.size()) {
      waiting_.pop_front();
      frontWritten_ = 0;
    }
  }
}

void OutputChannel::DropPastBound() {
  for (auto piece = waiting_.begin(); piece != waiting_.end() && waitingBytes_ > bound_;) {
    // A piece begun is finished, or the reader would get half a line.
    if (!piece->droppable || (piece == waiting_.begin() && frontWritten_ > 0)) {
      ++piece;
      continue;
    }
    waitingBytes_ -= piece->text.size();
    ++dropped_;
    piece = waiting_.erase(piece);
  }
}

int OutputChannel::waitingFd() const {
  if (waiting_.empty()) return -1;
  return ownFd_ >= 0 ? ownFd_ : fd_;
}

int OutputChannel::TakeDropped() {
  const int dropped = dropped_;
  dropped_ = 0;
  return dropped;
}

}  // namespace flash
