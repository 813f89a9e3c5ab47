#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flash::sim {

// A partial request older than this is given up so that the framer finds its feet again.
inline constexpr std::chrono::milliseconds kPartialRequestTimeout{200};
// No request is longer than a 254-character line; bytes beyond this without a request are noise.
inline constexpr std::size_t kMaxRequestLength = 512;

// Splits the byte stream of a serial line into requests. CR may occur inside binary
// frames, so frames are cut by their structure: "?V\r" first; first byte 0x42, 0x56,
// 0x99, 0x3F or 0x41: n + 7 bytes; 0x53: n + 3; 0x45: 6; 0x47: 7; anything else is
// text up to a CR. A frame must end in CR and carry a record type of at most 5; when
// it does not, its bytes are read as text instead (pass-through lines may begin with
// any letter). Line feeds, NULs, XON and XOFF between requests are discarded.
class RequestFramer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RequestFramer(std::chrono::milliseconds partialTimeout = kPartialRequestTimeout);

  // Appends the bytes that arrived at `now` and answers the requests they complete.
  std::vector<std::string> Feed(const std::uint8_t* data, std::size_t size, Clock::time_point now);
  // To call when `deadline()` has passed: a partial request that holds a CR gives
  // the text up to it, otherwise its bytes are dropped.
  std::vector<std::string> Expire(Clock::time_point now);
  // When the partial request will be given up; none while nothing is pending.
  std::optional<Clock::time_point> deadline() const;

 private:
  // Length of the request at the front, or 0 when more bytes are needed.
  std::size_t FrontLength(bool givingUp) const;
  std::vector<std::string> Extract(bool givingUp);

  std::chrono::milliseconds partialTimeout_;
  std::string buffer_;
  Clock::time_point partialSince_{};
};

}  // namespace flash::sim
