#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace flash::bench {

// The q-quantile (0..1) of the values, nearest rank; 0 for none.
inline double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(rank, values.size() - 1)];
}

inline double Median(std::vector<double> values) { return Quantile(std::move(values), 0.5); }

// One row of the table scripts/bench prints: what was measured, the figure, and
// the goal or how it was taken.
inline void PrintRow(const std::string& what, const std::string& figure, const std::string& note) {
  std::printf("| %s | %s | %s |\n", what.c_str(), figure.c_str(), note.c_str());
  std::fflush(stdout);
}

template <typename... Args>
std::string Text(const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace flash::bench
