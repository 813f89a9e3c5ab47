#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flash {

enum class CliCommand { Program, Verify, Test, Check, Ports, Help, Version };

inline constexpr int kPersonalityCancel = -1;

// The headless tool's command line.
struct CliOptions {
  CliCommand command = CliCommand::Help;
  std::string rufFile;
  std::optional<std::string> serialDevice;  // as given: a device path or a COMn name
  std::optional<std::string> udpHost;
  int udpPort = 49152;
  std::optional<std::int32_t> passcode;
  bool ignoreErrors = false;
  std::optional<int> personality;  // 1..6, or kPersonalityCancel
  std::optional<std::string> tracePath;
  bool quiet = false;    // only the result and the errors
  bool verbose = false;  // also the trace's lines as they are written
};

struct ParsedCliOptions {
  CliOptions options;
  std::string error;  // empty when the command line is good
};

// arguments: the command line without the program's name. Options may stand before
// the command too; --help and --version win wherever they stand.
ParsedCliOptions ParseCliOptions(const std::vector<std::string>& arguments);
std::string CliUsage();

}  // namespace flash
