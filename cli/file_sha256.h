#pragma once

#include <optional>
#include <string>

namespace flash {

// The SHA-256 of the file's bytes as 64 lower-case hex digits; nothing when the file
// cannot be read, with why ("firmware.ruf: Permission denied").
std::optional<std::string> FileSha256(const std::string& path, std::string& why);

}  // namespace flash
