#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "engine/number_text.h"

namespace flash {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kMaxPasscode = 65535;
constexpr int kPersonalityCount = 6;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<CliCommand> CommandNamed(const std::string& name) {
  if (name == "program") return CliCommand::Program;
  if (name == "verify") return CliCommand::Verify;
  if (name == "test") return CliCommand::Test;
  if (name == "check") return CliCommand::Check;
  if (name == "ports") return CliCommand::Ports;
  if (name == "help") return CliCommand::Help;
  return std::nullopt;
}

bool TakesValue(const std::string& name) {
  return name == "--serial" || name == "--udp" || name == "--passcode" ||
         name == "--personality" || name == "--trace";
}

// Applies one option; answers the fault, or an empty text.
std::string ApplyOption(const std::string& name, const std::string& value, CliOptions& o) {
  if (name == "--serial") {
    if (o.serialDevice) return "--serial is given twice";
    if (value.empty()) return "--serial needs a device (a path such as /dev/ttyUSB0, or COMn)";
    o.serialDevice = value;
  } else if (name == "--udp") {
    if (o.udpHost) return "--udp is given twice";
    const std::size_t colon = value.rfind(':');
    std::string host = value.substr(0, colon);
    if (colon != std::string::npos) {
      const std::optional<int> port = ReadWholeDecimal(value.substr(colon + 1), 0, kMaxPort);
      if (!port || *port == 0) {
        return "--udp " + value + ": the port must be a number from 1 to 65535";
      }
      o.udpPort = *port;
    }
    if (host.empty()) return "--udp " + value + ": the host is missing (HOST[:PORT])";
    if (host.find(':') != std::string::npos) {
      return "--udp " + value + ": HOST must be an IPv4 address or a host name";
    }
    o.udpHost = host;
  } else if (name == "--passcode") {
    if (o.passcode) return "--passcode is given twice";
    const std::optional<int> passcode = ReadWholeDecimal(value, 0, kMaxPasscode);
    if (!passcode) return "--passcode " + value + ": the passcode must be a number from 0 to 65535";
    o.passcode = *passcode;
  } else if (name == "--personality") {
    if (o.personality) return "--personality is given twice";
    if (Lower(value) == "cancel") {
      o.personality = kPersonalityCancel;
    } else {
      const std::optional<int> k = ReadWholeDecimal(value, 0, kPersonalityCount);
      if (!k || *k == 0) return "--personality " + value + ": give 1 to 6, or cancel";
      o.personality = *k;
    }
  } else if (name == "--trace") {
    if (o.tracePath) return "--trace is given twice";
    if (value.empty()) return "--trace needs a file name";
    o.tracePath = value;
  } else if (name == "--ignore-errors") {
    o.ignoreErrors = true;
  } else if (name == "--quiet" || name == "-q") {
    o.quiet = true;
  } else if (name == "--verbose" || name == "-v") {
    o.verbose = true;
  } else {
    return "unknown option " + name;
  }
  return {};
}

}  // namespace

ParsedCliOptions ParseCliOptions(const std::vector<std::string>& arguments) {
  ParsedCliOptions parsed;
  CliOptions& o = parsed.options;
  for (const std::string& a : arguments) {
    if (a == "--") break;
    if (a == "--help" || a == "-h" || a == "--version" || a == "-V") {
      o.command = a == "--help" || a == "-h" ? CliCommand::Help : CliCommand::Version;
      return parsed;
    }
  }
  const auto fail = [&parsed](std::string fault) {
    parsed.error = std::move(fault);
    return parsed;
  };

  std::optional<CliCommand> command;
  std::string firstOption;  // for a command that takes none
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      if (!command) {
        command = CommandNamed(a);
        if (!command) return fail("unknown command '" + a + "'");
        if (*command == CliCommand::Help) break;
      } else {
        positional.push_back(a);
      }
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    if (firstOption.empty()) firstOption = a;
    if (command == CliCommand::Check || command == CliCommand::Ports) break;
    std::string name = a;
    std::optional<std::string> value;
    if (const std::size_t equals = a.find('='); equals != std::string::npos && a.rfind("--", 0) == 0) {
      name = a.substr(0, equals);
      value = a.substr(equals + 1);
    }
    if (TakesValue(name)) {
      if (!value) {
        // A following option is not taken for the value of a forgotten one.
        if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) {
          return fail(name + " needs a value");
        }
        value = arguments[++i];
      }
    } else if (value) {
      return fail(name + " takes no value");
    }
    if (std::string fault = ApplyOption(name, value.value_or(""), o); !fault.empty()) {
      return fail(fault);
    }
  }
  if (!command) return fail("no command given");
  o.command = *command;
  if (o.command == CliCommand::Help) return parsed;
  if (o.command == CliCommand::Check || o.command == CliCommand::Ports) {
    const std::string name = o.command == CliCommand::Check ? "check" : "ports";
    if (!firstOption.empty()) return fail(name + " takes no options (" + firstOption + ")");
  }
  if (o.command == CliCommand::Ports) {
    if (!positional.empty()) return fail("ports takes no RUF-FILE ('" + positional[0] + "')");
    return parsed;
  }
  if (o.serialDevice && o.udpHost) return fail("--serial and --udp exclude each other");
  if (o.quiet && o.verbose) return fail("--quiet and --verbose exclude each other");
  if (positional.empty()) return fail("the RUF-FILE is missing");
  if (positional.size() > 1) {
    return fail("one RUF-FILE only ('" + positional[1] + "' is one too many)");
  }
  o.rufFile = positional[0];
  return parsed;
}

std::string CliUsage() {
  return
      "Usage:\n"
      "  flash-update-cli program RUF-FILE [options]   write the file into the radio's flash\n"
      "  flash-update-cli verify  RUF-FILE [options]   compare the radio's flash with the file\n"
      "  flash-update-cli test    RUF-FILE [options]   testing mode\n"
      "  flash-update-cli check   RUF-FILE             check the file offline; nothing is sent\n"
      "  flash-update-cli ports                        list the serial ports and what they are\n"
      "\n"
      "Options of program, verify and test:\n"
      "  --serial DEVICE       serial link on DEVICE: a device path (/dev/ttyUSB0, a pseudo-\n"
      "                        terminal or a symbolic link to one) or a COMn name\n"
      "  --udp HOST[:PORT]     UDP link to HOST (IPv4 address or host name), PORT 49152 by default\n"
      "  --passcode N          UDP passcode, 0 to 65535\n"
      "  --ignore-errors       every answer and every silence advances (no error checking)\n"
      "  --personality K       extended-memory choice of a model 734: 1 to 6, or cancel\n"
      "  --trace FILE          write the communication trace to FILE instead of comms.txt\n"
      "  -q, --quiet           print only the result and the errors\n"
      "  -v, --verbose         also print the trace's lines as they are written\n"
      "\n"
      "  -h, --help            print this text and exit\n"
      "  -V, --version         print the version and exit\n"
      "\n"
      "Without --serial and --udp the link settings of update.ini in the current directory\n"
      "apply; the tool never writes update.ini. Error checking is on unless --ignore-errors.\n"
      "The log, the progress and the result go to standard output; errors, warnings and why\n"
      "an operation failed also to standard error.\n"
      "\n"
      "Exit status: 0 success (check: no fault), 1 the operation failed (check: faults found),\n"
      "2 communication with the radio failed, 3 the radio refused the file (model mismatch,\n"
      "unlisted model, personality cancelled), 4 the file cannot be opened or breaks the format,\n"
      "5 the link cannot be opened, 64 usage error, 130 stopped by Ctrl-C (128 + the signal\n"
      "for SIGTERM and SIGHUP). See flash-update-cli(1).\n";
}

}  // namespace flash
