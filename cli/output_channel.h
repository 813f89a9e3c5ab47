#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace flash {

// One standard stream of the headless tool, written without ever waiting for
// its reader: what the descriptor cannot take now waits here, in order, until a
// later write or Flush finds room. Past the bound, the oldest droppable pieces
// (progress lines) that wait are dropped; other text is always kept.
class OutputChannel {
 public:
  OutputChannel(int fd, std::size_t bound);
  ~OutputChannel();
  OutputChannel(const OutputChannel&) = delete;
  OutputChannel& operator=(const OutputChannel&) = delete;

  void Write(std::string_view text, bool droppable = false);
  // Writes what waits, as far as the descriptor takes it now.
  void Flush();
  // The descriptor to watch for room (POLLOUT) while text waits; -1 when nothing waits.
  int waitingFd() const;
  // The droppable pieces dropped since the last call.
  int TakeDropped();

 private:
  struct Piece {
    std::string text;
    bool droppable;
  };

  // Bytes written at once: 0 when there is no room now, -1 when there never will be.
  long WriteNow(std::string_view text);
  void DropPastBound();

  int fd_;
  int ownFd_;  // a non-blocking description of our own of a terminal, or -1
  std::size_t bound_;
  std::deque<Piece> waiting_;
  std::size_t waitingBytes_ = 0;
  std::size_t frontWritten_ = 0;
  int dropped_ = 0;
  bool readerGone_ = false;
};

}  // namespace flash
