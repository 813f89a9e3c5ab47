// flash-update-cli: the update engine driven from a terminal or a script.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_status.h"
#include "cli/file_check.h"
#include "cli/port_listing.h"
#include "cli/record_table.h"
#include "cli/standard_descriptors.h"
#include "cli/update_run.h"
#include "flash_version.h"
#include "link/serial_device_list.h"

int main(int argc, char** argv) {
  using namespace flash;
  OpenClosedStandardDescriptors();
  const ParsedCliOptions parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "flash-update-cli: %s; try 'flash-update-cli --help'\n",
                 parsed.error.c_str());
    return kExitUsage;
  }
  const CliOptions& options = parsed.options;
  switch (options.command) {
    case CliCommand::Help:
      std::fputs(CliUsage().c_str(), stdout);
      return kExitSuccess;
    case CliCommand::Version:
      std::puts("flash-update-cli " FLASH_VERSION_LINES);
      return kExitSuccess;
    case CliCommand::Ports: {
      const std::vector<SerialPortInfo> ports = ListSerialPorts();
      if (ports.empty()) std::fputs("flash-update-cli: no serial ports found\n", stderr);
      std::fputs(PortListing(ports).c_str(), stdout);
      return kExitSuccess;
    }
    case CliCommand::Records: {
      const RecordsShown shown = ShowRecords(options.recordsFile);
      for (const std::string& line : shown.skipped) {
        std::fprintf(stderr, "flash-update-cli: %s\n", line.c_str());
      }
      if (!shown.error.empty()) {
        std::fprintf(stderr, "flash-update-cli: %s\n", shown.error.c_str());
        return kExitNoInput;
      }
      std::fputs(shown.table.c_str(), stdout);
      return kExitSuccess;
    }
    case CliCommand::Check: {
      const FileCheckResult result = CheckRufFile(options.rufFile);
      std::fputs(result.report.c_str(), stdout);
      if (!result.error.empty()) std::fprintf(stderr, "flash-update-cli: %s\n", result.error.c_str());
      return result.exitStatus;
    }
    default:
      return RunUpdate(options);
  }
}
