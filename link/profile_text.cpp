#include "link/profile_text.h"

#include <algorithm>

namespace flash {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string WithoutLineBreaks(std::string_view value) {
  std::string clean;
  clean.reserve(value.size());
  for (char c : value) {
    if (c != '\r' && c != '\n') clean.push_back(c);
  }
  return clean;
}

}  // namespace

ProfileText::ProfileText(std::string_view text) {
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    Line line;
    if (newline == std::string_view::npos) {
      line.text = std::string(text);
      text = {};
    } else {
      std::size_t end = newline;
      line.ending = "\n";
      if (end > 0 && text[end - 1] == '\r') {
        --end;
        line.ending = "\r\n";
      }
      line.text = std::string(text.substr(0, end));
      text.remove_prefix(newline + 1);
    }
    lines_.push_back(std::move(line));
  }
}

std::string_view ProfileText::Content(std::size_t index) const {
  std::string_view text = lines_[index].text;
  if (index == 0 && text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return Trim(text);
}

std::optional<std::string_view> ProfileText::SectionName(std::size_t index) const {
  const std::string_view text = Content(index);
  if (text.empty() || text.front() != '[') return std::nullopt;
  // The name ends at the first ']': what follows, such as a comment, is not part of it.
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos || close == 0) return std::nullopt;
  return Trim(text.substr(1, close - 1));
}

std::optional<ProfileText::KeyLine> ProfileText::Key(std::size_t index) const {
  const std::string_view text = Content(index);
  if (text.empty() || text.front() == ';' || text.front() == '[') return std::nullopt;
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return KeyLine{Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
}

std::optional<std::size_t> ProfileText::FindKey(std::string_view section,
                                                std::string_view key) const {
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (const auto name = SectionName(i)) {
      inSection = SameName(*name, section);
      continue;
    }
    if (!inSection) continue;
    if (const auto line = Key(i); line && SameName(line->key, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> ProfileText::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (const auto name = SectionName(i); name && SameName(*name, section)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> ProfileText::Get(std::string_view section,
                                            std::string_view key) const {
  const auto index = FindKey(section, key);
  if (!index) return std::nullopt;
  return std::string(Key(*index)->value);
}

std::string ProfileText::NewLineEnding() const {
  for (const Line& line : lines_) {
    if (!line.ending.empty()) return line.ending;
  }
  return "\n";
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  const std::string cleanValue = WithoutLineBreaks(value);
  const std::string cleanKey = WithoutLineBreaks(key);
  const std::string cleanSection = WithoutLineBreaks(section);

  if (const auto index = FindKey(cleanSection, cleanKey)) {
    // Keep the key as the file spells it; only the value changes.
    const std::string existingKey(Key(*index)->key);
    std::string text = existingKey + "=" + cleanValue;
    if (*index == 0 && lines_[0].text.starts_with(kUtf8Bom)) text.insert(0, kUtf8Bom);
    lines_[*index].text = std::move(text);
    return;
  }

  const std::string ending = NewLineEnding();
  Line keyLine{cleanKey + "=" + cleanValue, ending};

  if (const auto start = FindSection(cleanSection)) {
    // After the section's last non-blank line, so trailing blank lines keep separating sections.
    std::size_t insertAt = *start + 1;
    for (std::size_t i = *start + 1; i < lines_.size() && !SectionName(i); ++i) {
      if (!Content(i).empty()) insertAt = i + 1;
    }
    if (insertAt == lines_.size() && lines_.back().ending.empty()) lines_.back().ending = ending;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(keyLine));
    return;
  }

  if (!lines_.empty()) {
    if (lines_.back().ending.empty()) lines_.back().ending = ending;
    if (!Trim(lines_.back().text).empty()) lines_.push_back(Line{"", ending});
  }
  lines_.push_back(Line{"[" + cleanSection + "]", ending});
  lines_.push_back(std::move(keyLine));
}

std::string ProfileText::Text() const {
  std::string text;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.ending;
  }
  return text;
}

}  // namespace flash
