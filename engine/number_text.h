#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flash {

// A decimal number as C's atoi reads it: leading white space, an optional sign,
// the digits that follow. Nothing when no digit stands there. Values beyond the
// 32-bit range saturate instead of being undefined.
std::optional<std::int32_t> ReadLeadingDecimal(std::string_view text);

// A whole text that is a decimal number from low to high: digits only, after an
// optional '-'. Nothing for anything else (blanks, '+', other characters, out of
// range): for options typed by a user, where "12x" is a mistake, not 12.
std::optional<std::int32_t> ReadWholeDecimal(std::string_view text, std::int32_t low, std::int32_t high);

// The value of one hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

}  // namespace flash
