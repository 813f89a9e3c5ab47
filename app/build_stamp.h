#pragma once

namespace flash {

// "Oct 26 2010, 13:55:56": the date and time this program was built.
extern const char* const buildStamp;

}  // namespace flash
