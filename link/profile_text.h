#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

// The text of a private-profile (INI) file: sections named in square brackets,
// then one "key=value" line per key. Section and key names match without regard
// to case. Setting a key changes only that key's line, so every other section,
// key, comment and byte of the file is written back as it was read.
class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(std::string_view text);

  // The value of the first such key, with the blanks around it removed; nothing
  // when the section or the key is missing.
  std::optional<std::string> Get(std::string_view section, std::string_view key) const;

  // Replaces the key's value, or adds the key (and its section) when missing.
  // Line breaks in the value are dropped: a value can never become a line of
  // its own and plant another key or section.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;

 private:
  struct Line {
    std::string text;    // without its line ending
    std::string ending;  // "\r\n", "\n", or empty for a last line without one
  };
  struct KeyLine {
    std::string_view key;
    std::string_view value;
  };

  std::string_view Content(std::size_t index) const;
  std::optional<std::string_view> SectionName(std::size_t index) const;
  std::optional<KeyLine> Key(std::size_t index) const;
  // Index of the key's line in the first section of that name that holds it.
  std::optional<std::size_t> FindKey(std::string_view section, std::string_view key) const;
  std::optional<std::size_t> FindSection(std::string_view section) const;
  std::string NewLineEnding() const;

  std::vector<Line> lines_;
};

}  // namespace flash
