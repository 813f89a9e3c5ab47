#pragma once

#include <string_view>

namespace flash {

// Writes every byte to fd, going on after a partial write and after a signal that
// interrupted the call. Answers 0 once all are written, or the errno of the write
// that failed (EIO for one that took nothing).
int WriteAll(int fd, std::string_view bytes);

}  // namespace flash
