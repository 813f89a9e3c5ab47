#include <cstdio>
#include <string>

#include "sim/radio_sim_links.h"

namespace flash::sim {

namespace {

std::string Printable(const std::string& bytes) {
  std::string text;
  char hex[8];
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\r') {
      text += "\\r";
    } else if (b == '\n') {
      text += "\\n";
    } else if (b >= 0x20 && b < 0x7F && b != '\\') {
      text += c;
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    }
  }
  return text;
}

}  // namespace

void ReportExchanges(SimulatedRadio& radio, bool verbose, const std::string& logPrefix) {
  if (verbose) {
    const char* prefix = logPrefix.c_str();
    for (const RequestRecord& r : radio.log()) {
      std::fprintf(stderr, "%s#%d %s (%zu bytes) \"%s\"%s%s\n", prefix, r.number,
                   RequestKindName(r.kind), r.bytes.size(), Printable(r.bytes).c_str(),
                   r.note.empty() ? "" : ": ", r.note.c_str());
      if (r.answers.empty()) std::fprintf(stderr, "%s#%d no answer\n", prefix, r.number);
      for (const std::string& a : r.answers) {
        std::fprintf(stderr, "%s#%d answer \"%s\"\n", prefix, r.number, Printable(a).c_str());
      }
    }
  }
  radio.ClearLog();
}

}  // namespace flash::sim
