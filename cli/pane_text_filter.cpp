#include "cli/pane_text_filter.h"

namespace flash {

std::string PaneTextFilter::Filter(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (heldCr_) {
      heldCr_ = false;
      out += '\n';
      if (c == '\n') continue;
    }
    if (c == '\r') {
      heldCr_ = true;
    } else if (c == '\n' || c == '\t' || (byte >= 0x20 && byte != 0x7F)) {
      out += c;
    } else {
      out += '?';
    }
  }
  return out;
}

std::string PaneTextFilter::Flush() {
  if (!heldCr_) return {};
  heldCr_ = false;
  return "\n";
}

}  // namespace flash
