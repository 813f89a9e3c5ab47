#include "sim/request_framer.h"

#include <string_view>

namespace flash::sim {

namespace {

constexpr char kCarriageReturn = '\r';
constexpr std::uint8_t kHighestRecordType = 0x05;

std::uint8_t At(const std::string& s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); }

// Bytes that begin no request: the LF a pass-through line may end with, NULs, and
// the XON/XOFF that a port pacing its input with software flow control sends.
bool IsFiller(std::uint8_t b) { return b == '\n' || b == 0x00 || b == 0x11 || b == 0x13; }

}  // namespace

RequestFramer::RequestFramer(std::chrono::milliseconds partialTimeout)
    : partialTimeout_(partialTimeout) {}

std::optional<RequestFramer::Clock::time_point> RequestFramer::deadline() const {
  if (buffer_.empty()) return std::nullopt;
  return partialSince_ + partialTimeout_;
}

std::size_t RequestFramer::FrontLength(bool givingUp) const {
  const std::string& b = buffer_;
  const std::size_t size = b.size();
  auto textLength = [&]() -> std::size_t {
    const std::size_t cr = b.find(kCarriageReturn);
    return cr == std::string::npos ? 0 : cr + 1;
  };

  const std::string_view identification = "?V\r";
  if (std::string_view(b).substr(0, 3) == identification) return 3;
  if (size < 3 && identification.substr(0, size) == b && !givingUp) return 0;

  const std::uint8_t first = At(b, 0);
  std::size_t frameLength = 0;  // 0: not a frame
  bool plausible = true;
  switch (first) {
    case 0x42: case 0x56: case 0x99: case 0x3F: case 0x41:
      if (size < 2) return givingUp ? textLength() : 0;
      frameLength = At(b, 1) + 7u;
      if (size >= 5 && At(b, 4) > kHighestRecordType) plausible = false;
      break;
    case 0x53:
      if (size < 2) return givingUp ? textLength() : 0;
      frameLength = At(b, 1) + 3u;
      if (At(b, 1) < 3) plausible = false;  // the shortest S-record: 2 address bytes, checksum
      break;
    case 0x45:
      frameLength = 6;
      break;
    case 0x47:
      frameLength = 7;
      break;
    default:
      break;
  }
  if (frameLength != 0 && plausible) {
    if (size >= frameLength) {
      if (b[frameLength - 1] == kCarriageReturn) return frameLength;
      // Not a frame after all: the bytes are a text line.
    } else if (!givingUp) {
      return 0;
    }
  }
  return textLength();
}

std::vector<std::string> RequestFramer::Extract(bool givingUp) {
  std::vector<std::string> requests;
  for (;;) {
    std::size_t skip = 0;
    while (skip < buffer_.size() && IsFiller(At(buffer_, skip))) ++skip;
    buffer_.erase(0, skip);
    if (buffer_.empty()) break;
    const std::size_t length = FrontLength(givingUp);
    if (length == 0) {
      if (givingUp || buffer_.size() > kMaxRequestLength) buffer_.clear();
      break;
    }
    requests.push_back(buffer_.substr(0, length));
    buffer_.erase(0, length);
    // What follows a request given up on is framed afresh.
    givingUp = false;
  }
  return requests;
}

std::vector<std::string> RequestFramer::Feed(const std::uint8_t* data, std::size_t size,
                                             Clock::time_point now) {
  if (buffer_.empty()) partialSince_ = now;
  const std::size_t before = buffer_.size();
  buffer_.append(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> requests = Extract(false);
  // A partial request that remains after a cut started with the bytes of this feed.
  if (!requests.empty() || buffer_.size() < before + size) partialSince_ = now;
  return requests;
}

std::vector<std::string> RequestFramer::Expire(Clock::time_point now) {
  if (buffer_.empty() || now < partialSince_ + partialTimeout_) return {};
  std::vector<std::string> requests = Extract(true);
  partialSince_ = now;
  return requests;
}

}  // namespace flash::sim
