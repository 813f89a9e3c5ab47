#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "engine/number_text.h"
#include "engine/serial_port_name.h"
#include "link/output_file.h"
#include "link/small_text_file.h"

namespace flash {
namespace {

constexpr int kMaxPort = 65535;
constexpr int kMaxPasscode = 65535;
constexpr int kMaxStationCount = 1000000;
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
  if (name == "records") return CliCommand::Records;
  if (name == "station") return CliCommand::Station;
  if (name == "help") return CliCommand::Help;
  return std::nullopt;
}

bool TakesValue(const std::string& name) {
  return name == "--serial" || name == "--udp" || name == "--passcode" ||
         name == "--personality" || name == "--trace" || name == "--links" ||
         name == "--trace-dir" || name == "--report" || name == "--watch" ||
         name == "--records" || name == "--count";
}

// Reads one link's value; answers the fault (named after what, "--udp VALUE" or a
// --links file's line), or an empty text.
std::string AddLink(bool udp, const std::string& value, const std::string& what, CliOptions& o) {
  CliLink link;
  link.udp = udp;
  if (!udp) {
    if (value.empty()) return what + " needs a device (a path such as /dev/ttyUSB0, or COMn)";
    link.device = value;
  } else {
    const std::size_t colon = value.rfind(':');
    link.host = value.substr(0, colon);
    if (colon != std::string::npos) {
      const std::optional<int> port = ReadWholeDecimal(value.substr(colon + 1), 0, kMaxPort);
      if (!port || *port == 0) return what + ": the port must be a number from 1 to 65535";
      link.port = *port;
    }
    if (link.host.empty()) return what + ": the host is missing (HOST[:PORT])";
    if (link.host.find(':') != std::string::npos) {
      return what + ": HOST must be an IPv4 address or a host name";
    }
  }
  for (const CliLink& other : o.links) {
    if (other.Label() == link.Label() && other.udp == link.udp) {
      return "the link " + link.Label() + " is given twice";
    }
  }
  o.links.push_back(link);
  return {};
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One link a line, "serial DEVICE" or "udp HOST[:PORT]"; blank lines and '#' comments skipped.
std::string ReadLinksFile(const std::string& path, CliOptions& o) {
  const SmallTextFile file = ReadSmallTextFile(path);
  if (file.result != SmallTextFile::Result::Read) return "--links " + path + ": " + file.reason;
  int number = 0;
  for (std::size_t start = 0; start < file.text.size();) {
    const std::size_t end = std::min(file.text.find('\n', start), file.text.size());
    std::string line = Trimmed(file.text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line[0] == '#') continue;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string kind = line.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : Trimmed(line.substr(blank));
    const std::string where = path + ":" + std::to_string(number);
    if (kind != "serial" && kind != "udp") {
      return where + ": '" + line + "' is not a link; write 'serial DEVICE' or 'udp HOST[:PORT]'";
    }
    if (std::string fault = AddLink(kind == "udp", value, where + ": " + kind, o); !fault.empty()) {
      return fault.starts_with(where) ? fault : where + ": " + fault;
    }
  }
  return {};
}

// A trace or a report named after a file the run reads would destroy it.
std::string OutputOverInput(const std::string& option, const std::optional<std::string>& path,
                            const std::string& rufFile) {
  if (!path) return {};
  const OutputProblem problem = CheckOutputFile(*path, RunInputs(rufFile), OutputNaming::ByUser);
  if (problem.fault != OutputFault::InputFile) return {};
  return option + " " + *path + ": " + problem.reason;
}

// A station takes the serial adapters that appear in its folder and checks every answer;
// the options of the other commands that would say otherwise are refused, and so are
// the station's own options elsewhere.
std::string StationFault(const CliOptions& o) {
  if (o.command != CliCommand::Station) {
    if (o.watchDir) return "--watch goes with station";
    if (o.recordsPath) return "--records goes with station";
    if (o.count) return "--count goes with station";
    if (o.present) return "--present goes with station";
    return {};
  }
  if (!o.links.empty() || o.linksFile) {
    return "a station flashes the serial adapters that appear in its --watch folder; --serial, "
           "--udp and --links go with program, verify and test";
  }
  if (o.ignoreErrors) {
    return "a station always checks the radio's answers; --ignore-errors goes with program, "
           "verify and test";
  }
  if (o.reportPath) {
    return "a station keeps its records in --records FILE; --report goes with program, verify "
           "and test";
  }
  if (o.tracePath) return "a station writes one trace per radio: give --trace-dir DIR";
  if (o.verbose) return "--verbose shows one radio's exchange; a station's radios have a trace each";
  if (o.passcode) return "--passcode is for UDP links; a station's radios are serial";
  return {};
}

// Applies one option; answers the fault, or an empty text.
std::string ApplyOption(const std::string& name, const std::string& value, CliOptions& o) {
  if (name == "--serial") {
    return AddLink(false, value, "--serial", o);
  } else if (name == "--udp") {
    return AddLink(true, value, "--udp " + value, o);
  } else if (name == "--links" || name == "--trace-dir" || name == "--report" ||
             name == "--watch" || name == "--records") {
    std::optional<std::string>& field = name == "--links"       ? o.linksFile
                                        : name == "--trace-dir" ? o.traceDir
                                        : name == "--report"    ? o.reportPath
                                        : name == "--watch"     ? o.watchDir
                                                                : o.recordsPath;
    if (field) return name + " is given twice";
    if (value.empty()) {
      return name + " needs a " + (name == "--trace-dir" || name == "--watch" ? "folder" : "file");
    }
    field = value;
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
  } else if (name == "--count") {
    if (o.count) return "--count is given twice";
    o.count = ReadWholeDecimal(value, 1, kMaxStationCount);
    if (!o.count) return "--count " + value + ": give a number of radios from 1 to 1000000";
  } else if (name == "--present") {
    o.present = true;
  } else if (name == "--ignore-errors") {
    o.ignoreErrors = true;
  } else if (name == "--verify") {
    o.verifyAfterProgram = true;
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

std::string CliLink::Label() const { return udp ? host + ":" + std::to_string(port) : device; }

std::string CliLink::TraceName() const {
  if (udp) return host + "-" + std::to_string(port);
  const std::size_t slash = device.find_last_of('/');
  return slash == std::string::npos ? device : device.substr(slash + 1);
}

LinkSettings LinkSettingsFor(const CliLink& link, std::optional<std::int32_t> passcode) {
  LinkSettings settings;
  settings.serialActive = !link.udp;
  settings.ethernetActive = link.udp;
  if (link.udp) {
    settings.radioAddress = link.host;
    settings.radioPort = link.port;
  } else {
    settings.comPort = PortSettingFor(link.device);
  }
  if (passcode) settings.radioPasscode = *passcode;
  return settings;
}

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
    if (command == CliCommand::Check || command == CliCommand::Ports ||
        command == CliCommand::Records) {
      break;
    }
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
  if (o.command == CliCommand::Records) {
    if (!firstOption.empty()) return fail("records takes no options (" + firstOption + ")");
    if (positional.size() != 1) {
      return fail(positional.empty() ? "records needs the record FILE"
                                     : "one record FILE only ('" + positional[1] + "' is one too many)");
    }
    o.recordsFile = positional[0];
    return parsed;
  }
  if (o.quiet && o.verbose) return fail("--quiet and --verbose exclude each other");
  if (std::string fault = StationFault(o); !fault.empty()) return fail(fault);
  if (o.verifyAfterProgram && o.command != CliCommand::Program &&
      o.command != CliCommand::Station) {
    return fail("--verify goes with program and station: it verifies the radio after programming it");
  }
  if (o.verifyAfterProgram && o.ignoreErrors) {
    return fail("--verify and --ignore-errors exclude each other: a Verify that ignores the "
                "radio's answers proves nothing");
  }
  if (o.linksFile) {
    if (std::string fault = ReadLinksFile(*o.linksFile, o); !fault.empty()) return fail(fault);
    if (o.links.empty()) return fail("--links " + *o.linksFile + " names no link");
  }
  if (o.fleet()) {
    // One radio's trace may be named whatever else makes the run a fleet.
    if (o.tracePath && o.traceDir) return fail("--trace and --trace-dir exclude each other");
    if (o.tracePath && o.links.size() > 1) {
      return fail("--trace names one file; with several links give --trace-dir DIR");
    }
    if (o.verbose) {
      return fail(o.links.size() > 1
                      ? "--verbose shows one radio's exchange; with several links read the traces"
                      : "--verbose goes without --links, --trace-dir and --report; read the trace");
    }
    if (o.links.empty()) return fail("--trace-dir and --report need --serial, --udp or --links");
    for (std::size_t i = 0; i < o.links.size(); ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (o.links[i].TraceName() == o.links[j].TraceName()) {
          return fail("the links " + o.links[j].Label() + " and " + o.links[i].Label() +
                      " would share the trace " + o.links[i].TraceName() + ".txt");
        }
      }
    }
  }
  if (positional.empty()) return fail("the RUF-FILE is missing");
  if (positional.size() > 1) {
    return fail("one RUF-FILE only ('" + positional[1] + "' is one too many)");
  }
  o.rufFile = positional[0];
  std::string fault = OutputOverInput("--trace", o.tracePath, o.rufFile);
  if (fault.empty()) fault = OutputOverInput("--report", o.reportPath, o.rufFile);
  if (fault.empty()) fault = OutputOverInput("--records", o.recordsPath, o.rufFile);
  if (!fault.empty()) return fail(fault);
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
      "  flash-update-cli station RUF-FILE [options]   flash each serial adapter plugged in, and\n"
      "                                                keep a record of every radio\n"
      "  flash-update-cli records FILE                 a station's records: the last one of each\n"
      "                                                adapter, then totals by outcome and model\n"
      "\n"
      "Options of program, verify and test:\n"
      "  --serial DEVICE       serial link on DEVICE: a device path (/dev/ttyUSB0, a pseudo-\n"
      "                        terminal or a symbolic link to one) or a COMn name\n"
      "  --udp HOST[:PORT]     UDP link to HOST (IPv4 address or host name), PORT 49152 by default\n"
      "                        (--serial and --udp may be given several times: one radio each)\n"
      "  --links FILE          more links, one a line: 'serial DEVICE' or 'udp HOST[:PORT]'\n"
      "  --passcode N          UDP passcode, 0 to 65535\n"
      "  --ignore-errors       every answer and every silence advances (no error checking)\n"
      "  --verify              program: then verify the radio against the same file (exit 0\n"
      "                        only when both succeed; refused for files a Verify cannot prove)\n"
      "  --personality K       extended-memory choice of a model 734: 1 to 6, or cancel\n"
      "  --trace FILE          write the communication trace to FILE instead of comms.txt\n"
      "  --trace-dir DIR       one trace per radio in DIR, named after its link\n"
      "  --report FILE         write each radio's result to FILE as JSON\n"
      "  -q, --quiet           print only the result and the errors\n"
      "  -v, --verbose         also print the trace's lines as they are written\n"
      "\n"
      "Options of station (also --verify, --personality, --trace-dir and --quiet):\n"
      "  --watch DIR           the folder where serial adapters appear (/dev/serial/by-id)\n"
      "  --records FILE        append one JSON line per radio (flash-records.jsonl)\n"
      "  --count N             end after N radios have ended\n"
      "  --present             flash the adapters already there at the start too\n"
      "\n"
      "  -h, --help            print this text and exit\n"
      "  -V, --version         print the version and exit\n"
      "\n"
      "Without --serial and --udp the link settings of update.ini in the current directory\n"
      "apply; the tool never writes update.ini. Error checking is on unless --ignore-errors.\n"
      "The log, the progress and the result go to standard output; errors, warnings and why\n"
      "an operation failed also to standard error. With several links every radio is\n"
      "flashed at the same time and a summary ends the run; its exit status is the\n"
      "worst of the radios' (a stop signal, then 1, 2, 3, 5, 4, then 0).\n"
      "\n"
      "Exit status: 0 success (check: no fault), 1 the operation failed (check: faults found),\n"
      "2 communication with the radio failed, 3 the radio refused the file (model mismatch,\n"
      "unlisted model, personality cancelled), 4 the file cannot be opened or breaks the format,\n"
      "5 the link cannot be opened, 64 usage error, 130 stopped by Ctrl-C (128 + the signal\n"
      "for SIGTERM and SIGHUP). See flash-update-cli(1).\n";
}

}  // namespace flash
