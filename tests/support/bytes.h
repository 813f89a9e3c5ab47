#pragma once

#include <initializer_list>
#include <string>

namespace flash::test {

// Bytes given by their values, for frames and answers that hold control bytes.
inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

}  // namespace flash::test
