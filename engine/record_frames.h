#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/ruf_records.h"

namespace flash {

// The frames sent to the radio. Each builder writes into frame (room for
// kFrameBufferSize bytes) and answers the frame's length.

// Intel HEX record: lead (the mode byte, or 'A' for a segment record), n, address
// high, address low, type, the n data bytes, the line's checksum byte, CR: n + 7 bytes.
std::size_t BuildRecordFrame(std::uint8_t lead, const IntelRecord& record, std::uint8_t* frame);
// 'S', n, the n - 1 address and data bytes, the line's checksum byte, CR: n + 3 bytes.
std::size_t BuildSFrame(const SRecord& record, std::uint8_t* frame);
// 'E', b1, b2, b3, checksum, CR.
std::size_t BuildEFrame(const std::uint8_t* bytes, std::uint8_t* frame);
// 'E', k, 0, 0, 0x100 - k, CR: stores the image in personality k.
std::size_t BuildPersonalityEFrame(int personality, std::uint8_t* frame);
// 'G', b1, b2, b3, b4, checksum, CR.
std::size_t BuildGFrame(const std::uint8_t* bytes, std::uint8_t* frame);

}  // namespace flash
