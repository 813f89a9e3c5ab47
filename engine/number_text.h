#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flash {

// A decimal number as C's atoi reads it: leading white space, an optional sign,
// the digits that follow. Nothing when no digit stands there. Values beyond the
// 32-bit range saturate instead of being undefined.
std::optional<std::int32_t> ReadLeadingDecimal(std::string_view text);

// The value of one hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

}  // namespace flash
