#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace flash {

// printf-style formatting into a std::string, for the program's fixed texts.
[[gnu::format(printf, 1, 2)]] inline std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return {};
  if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace flash
