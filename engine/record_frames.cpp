#include "engine/record_frames.h"

namespace flash {
namespace {

constexpr std::uint8_t kCr = 0x0D;

// Two's complement of the sum: what the radio checks a directive frame against.
std::uint8_t DirectiveChecksum(const std::uint8_t* bytes, std::size_t count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::size_t BuildDirectiveFrame(std::uint8_t lead, const std::uint8_t* bytes, std::size_t count,
                                std::uint8_t* frame) {
  frame[0] = lead;
  for (std::size_t i = 0; i < count; ++i) frame[1 + i] = bytes[i];
  frame[1 + count] = DirectiveChecksum(bytes, count);
  frame[2 + count] = kCr;
  return count + 3;
}

}  // namespace

std::size_t BuildRecordFrame(std::uint8_t lead, const IntelRecord& record, std::uint8_t* frame) {
  const auto n = static_cast<std::size_t>(static_cast<std::uint8_t>(record.byteCount));
  frame[0] = lead;
  frame[1] = static_cast<std::uint8_t>(n);
  frame[2] = record.addressHigh;
  frame[3] = record.addressLow;
  frame[4] = record.recordType;
  for (std::size_t i = 0; i < n; ++i) frame[5 + i] = record.data[i];
  frame[5 + n] = record.lineChecksum;
  frame[6 + n] = kCr;
  return n + 7;
}

std::size_t BuildSFrame(const SRecord& record, std::uint8_t* frame) {
  const auto n = static_cast<std::size_t>(static_cast<std::uint8_t>(record.byteCount));
  frame[0] = 'S';
  frame[1] = static_cast<std::uint8_t>(n);
  for (std::size_t i = 0; i + 1 < n; ++i) frame[2 + i] = record.body[i];
  frame[n + 1] = record.lineChecksum;
  frame[n + 2] = kCr;
  return n + 3;
}

std::size_t BuildEFrame(const std::uint8_t* bytes, std::uint8_t* frame) {
  return BuildDirectiveFrame('E', bytes, 3, frame);
}

std::size_t BuildPersonalityEFrame(int personality, std::uint8_t* frame) {
  const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(personality), 0, 0};
  return BuildDirectiveFrame('E', bytes, 3, frame);
}

std::size_t BuildGFrame(const std::uint8_t* bytes, std::uint8_t* frame) {
  return BuildDirectiveFrame('G', bytes, 4, frame);
}

}  // namespace flash
