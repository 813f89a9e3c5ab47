#pragma once

#include <string>
#include <string_view>

namespace flash {

// The SHA-256 of the bytes as 64 lower-case hex digits: a station names the file it
// flashes by the digest of the very bytes it read once and sends to every radio.
std::string Sha256Hex(std::string_view bytes);

}  // namespace flash
