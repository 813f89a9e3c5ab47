#pragma once

#include <string>

namespace flash::test {

// The demo's update file, a 746 file of 131 data lines.
inline const std::string kDemoFile = EXAMPLES_DIR "/746-demo.ruf";

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++count;
  return count;
}

}  // namespace flash::test
