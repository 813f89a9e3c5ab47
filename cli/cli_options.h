#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/link_settings.h"
#include "engine/run_sequence.h"

namespace flash {

enum class CliCommand { Program, Verify, Test, Check, Ports, Records, Station, Help, Version };

inline constexpr int kPersonalityCancel = -1;

// One radio's link as the command line or a --links file names it.
struct CliLink {
  bool udp = false;
  std::string device;  // serial: as given, a device path or a COMn name
  std::string host;    // UDP
  int port = 49152;    // UDP

  // As a person reads it: the device, or HOST:PORT.
  std::string Label() const;
  // The name of its trace in --trace-dir: the device's base name, or HOST-PORT.
  std::string TraceName() const;
};

// The headless tool's command line.
struct CliOptions {
  CliCommand command = CliCommand::Help;
  std::string rufFile;
  std::string recordsFile;  // records: the station's record file to show
  // station: the folder watched for serial adapters, the record file, how many radios
  // end the station, and whether the adapters present at start are flashed too.
  std::optional<std::string> watchDir;
  std::optional<std::string> recordsPath;
  std::optional<int> count;
  bool present = false;
  std::vector<CliLink> links;  // --serial, --udp and the lines of --links, in that order
  std::optional<std::string> linksFile;
  std::optional<std::string> traceDir;
  std::optional<std::string> reportPath;
  std::optional<std::int32_t> passcode;
  bool ignoreErrors = false;
  // program: a Verify of the same file follows a Program that succeeded.
  bool verifyAfterProgram = false;
  std::optional<int> personality;  // 1..6, or kPersonalityCancel
  std::optional<std::string> tracePath;
  bool quiet = false;    // only the result and the errors
  bool verbose = false;  // also the trace's lines as they are written

  // What the engine runs on each radio (Program, Verify, Test and station commands).
  OperationMode mode() const {
    if (command == CliCommand::Verify) return OperationMode::Verify;
    if (command == CliCommand::Test) return OperationMode::Test;
    return verifyAfterProgram ? OperationMode::ProgramThenVerify : OperationMode::Program;
  }

  // Several radios, each with its own engine, trace and result, and a summary at the
  // end. One link without --links, --trace-dir or --report runs as a single radio.
  bool fleet() const {
    if (command == CliCommand::Station) return false;
    return links.size() > 1 || linksFile.has_value() || traceDir.has_value() ||
           reportPath.has_value();
  }
};

struct ParsedCliOptions {
  CliOptions options;
  std::string error;  // empty when the command line is good
};

// arguments: the command line without the program's name. Options may stand before
// the command too; --help and --version win wherever they stand. A --links file is
// read here: its faults are usage errors naming FILE:LINE.
ParsedCliOptions ParseCliOptions(const std::vector<std::string>& arguments);
std::string CliUsage();

}  // namespace flash

namespace flash {

// The engine's link settings for one radio of the command line.
LinkSettings LinkSettingsFor(const CliLink& link, std::optional<std::int32_t> passcode);

}  // namespace flash
