#include "app/command_line_rule.h"

#include <algorithm>

#include "flash_version.h"

namespace flash {

bool ArgumentsIgnoreErrors(const std::vector<std::string>& programArgs) {
  // Every argument the shell passed was a word of the command line, even an empty
  // quoted one, so any argument at all switches error checking off.
  return programArgs.size() > 1;
}

InformationRequest RequestedInformation(const std::vector<std::string>& args) {
  const auto given = [&args](const char* option) {
    return args.size() > 1 && std::find(args.begin() + 1, args.end(), option) != args.end();
  };
  if (given("--help") || given("-h")) return InformationRequest::Usage;
  if (given("--version") || given("-V")) return InformationRequest::Version;
  return InformationRequest::None;
}

std::string UsageText() {
  return
      "Usage: flash-update [--help | --version | ARGUMENT...]\n"
      "\n"
      "The desktop program of Flash Update: writes (Process > Update Radio) or compares\n"
      "(Process > Verify Program) the flash memory of a radio over a serial port or UDP.\n"
      "It reads update.ini at start and writes it at exit, and writes comms.txt, both in\n"
      "the current directory.\n"
      "\n"
      "Any ARGUMENT switches error checking off for the run (every answer and every\n"
      "silence advances); the setting is then saved in update.ini. Options that Qt takes\n"
      "for itself (-style fusion, -platform offscreen ...) do not count.\n"
      "\n"
      "  -h, --help     print this text and exit\n"
      "  -V, --version  print the version and exit\n";
}

std::string VersionLine() { return "flash-update " FLASH_VERSION_LINES; }

}  // namespace flash
