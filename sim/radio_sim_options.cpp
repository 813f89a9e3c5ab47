#include "sim/radio_sim_options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <climits>
#include <cstdint>
#include <optional>

#include "engine/number_text.h"

namespace flash::sim {

namespace {

bool ParseInt(const std::string& text, int low, int high, int& out) {
  const std::optional<std::int32_t> value = ReadWholeDecimal(text, low, high);
  if (value) out = *value;
  return value.has_value();
}

bool IsDottedAddress(const std::string& text) {
  in_addr parsed {};
  return inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

// ADDR, ADDR:PORT or :PORT; the fault, or an empty text.
std::string ParseUdpEndpoint(const std::string& text, RadioSimOptions& options) {
  const std::size_t colon = text.rfind(':');
  options.udpAddress = text.substr(0, colon);
  if (options.udpAddress.empty()) options.udpAddress = kDefaultUdpAddress;
  // A command line that cannot work is a usage error, found before any radio starts.
  if (!IsDottedAddress(options.udpAddress)) {
    return "--udp: '" + options.udpAddress + "' is not a dotted IPv4 address";
  }
  if (colon != std::string::npos && !ParseInt(text.substr(colon + 1), 0, 65535, options.udpPort)) {
    return "--udp: '" + text + "' is not ADDR:PORT with a port from 0 to 65535";
  }
  return {};
}

}  // namespace

std::string RadioSimUsage() {
  return R"(Usage: radio-sim [options]

A simulated radio for Flash Update: it answers identification, start commands,
record frames ('B' Program, 'V' Verify, 0x99 Test), 'A', 'S', 'E' and 'G' frames,
and the Intel HEX text lines of models 797 and 729, and keeps a memory image.

Link (one of):
  (default)               Serial radio on a new pseudo-terminal. Its path is printed
                          in the ready line; give it to Flash Update as the serial port.
  --link PATH             Also make the symbolic link PATH to the pseudo-terminal
                          (replaces an old symbolic link; removed at exit).
  --udp [ADDR:PORT]       UDP radio bound to ADDR:PORT (default 127.0.0.2:49152).
                          Flash Update binds its own socket to the same port number
                          on all addresses, so the radio takes another loopback
                          address and both sockets allow address reuse. Point Flash
                          Update's radio address at ADDR. Port 0 picks a free port.
  --passcode N            UDP: take only datagrams whose two first bytes are the low
                          16 bits of N, high byte first (default: any passcode).

Several radios, in one process:
  --count N               Start N radios, 1 to 100 (default 1). Serial: a
                          pseudo-terminal each; "%d" in --link, --image-in,
                          --image-out and --expect stands for the radio's number
                          (1 to N). UDP: radio K binds ADDR plus K-1 (127.0.0.2,
                          127.0.0.3, ...), all on one port (with port 0, the free
                          port radio 1 got).
  --radio K OPTIONS       The radio, image, timing and fault options after it, up
                          to the next --radio, apply to radio K only, over those
                          given before the first --radio.

Radio:
  --model CODE            Model code (default 712, which reports no model code).
                          797 and 729 take Intel HEX lines as text and answer ACK.
  --dsp N                 DSP firmware number, 0 to 9999 (default 1234 = version 1.234).
  --extended              Report extended memory ('-' after VER; meant for model 734).
  --report-model CODE     Report CODE as the model code, also for model 712
                          (e.g. 712 or 999 to try unlisted models).
  --image-in FILE         Start with this memory: an Intel HEX image, or a .ruf file
                          (the memory a Program of it leaves).
  --image-out FILE        Write the memory as Intel HEX at exit (also on Ctrl-C
                          and SIGTERM).
  --expect FILE           At exit, compare the memory with FILE (an Intel HEX image,
                          or a .ruf file: the memory a Program of it leaves), say
                          whether they are equal, and exit with status 3 if not.
                          With --count, each radio says it on a line naming its
                          link; status 3 if any radio's memory differs.

Timing:
  --delay-ms N            Answer every request N milliseconds late.
  --wire-paced            Answer only after the time the request's and the answer's
                          bytes take on a 57600-baud line (10 bits per byte).

Faults (requests are numbered from 1, every request counts):
  --silent-from K         No answer to request K and any later one.
  --wrong-echo N          The first N echoes (':' and two hex digits) are wrong.
  --wrong-echo-from K     Every echo to request K and later ones is wrong.
  --garbage-every K       Every K-th answer is replaced by one that means nothing.
  --no-echo-first-try     A record, 'A' or 'S' frame is answered only when it is
                          sent again.
  --xon-xoff[=K]          Models 797 and 729: XOFF and then XON before the ACK of
                          every K-th line (default every line), each an answer of
                          its own.
  --bad-cell ADDR         The memory cell at ADDR (decimal, or hex after 0x) keeps
                          every value written with its bits inverted: a Program
                          is echoed right, a Verify finds the difference.
  --pull-at LINE          Serial: pull the cable when the LINE-th data line (record,
                          'S' frame or text line of a 797 or 729; resends count)
                          arrives: unanswered, the radio closes its end of the
                          pseudo-terminal and removes its --link, as an unplugged
                          USB adapter and udev do. It goes on running until stopped.

Other:
  -v, --verbose           Print every request and answer on standard error.
  -h, --help              Show this text.
  -V, --version           Print the version.

When the radio is ready it prints one line on standard output (with --count, one
line per radio in radio order, once every radio is ready):
  radio-sim: serial radio on /dev/pts/N
  radio-sim: UDP radio on ADDR:PORT
It runs until SIGINT (Ctrl-C) or SIGTERM and then exits with status 0.
)";
}

namespace {

// Applies the arguments over what o holds; answers the fault, empty when there is none.
// A radio's group (perRadio) may not hold what every radio shares.
std::string ApplyOptions(const std::vector<std::string>& arguments, RadioSimOptions& o,
                         bool perRadio) {
  RadioFaults& faults = o.radio.faults;
  std::string error;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto value = [&](std::string& out) {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= arguments.size()) return false;
      out = arguments[++i];
      return true;
    };
    auto number = [&](int low, int high, int& out) {
      std::string text;
      if (!value(text)) {
        error = name + " needs a number";
        return false;
      }
      if (!ParseInt(text, low, high, out)) {
        error = name + ": '" + text + "' is not a whole number from " + std::to_string(low) +
                " to " + std::to_string(high);
        return false;
      }
      return true;
    };
    auto flag = [&]() {
      if (inlineValue) error = name + " takes no value";
      return !inlineValue;
    };

    if (perRadio && (name == "--link" || name == "--udp" || name == "--count" ||
                     name == "--verbose" || name == "-v")) {
      return name + " applies to every radio; give it before the first --radio";
    }
    int n = 0;
    if (name == "--link") {
      if (!value(o.linkPath) || o.linkPath.empty()) return "--link needs a path";
    } else if (name == "--udp") {
      o.link = RadioSimOptions::Link::Udp;
      std::string endpoint;
      if (inlineValue) {
        endpoint = *inlineValue;
      } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
        endpoint = arguments[++i];
      }
      if (!endpoint.empty()) {
        if (std::string fault = ParseUdpEndpoint(endpoint, o); !fault.empty()) return fault;
      }
    } else if (name == "--count") {
      if (!number(1, kMaxRadios, o.count)) return error;
      o.fleet = true;
    } else if (name == "--passcode") {
      if (!number(INT_MIN, INT_MAX, n)) return error;
      o.passcode = n;
    } else if (name == "--model") {
      if (!number(0, 9999, o.radio.model)) return error;
    } else if (name == "--dsp") {
      if (!number(0, 9999, o.radio.dspNumber)) return error;
    } else if (name == "--extended") {
      if (!flag()) return error;
      o.radio.extendedMemory = true;
    } else if (name == "--report-model") {
      if (!number(0, 99999, n)) return error;
      o.radio.reportModelCode = n;
    } else if (name == "--image-in") {
      if (!value(o.imageIn) || o.imageIn.empty()) return "--image-in needs a file";
    } else if (name == "--image-out") {
      if (!value(o.imageOut) || o.imageOut.empty()) return "--image-out needs a file";
    } else if (name == "--expect") {
      if (!value(o.expect) || o.expect.empty()) return "--expect needs a file";
    } else if (name == "--delay-ms") {
      if (!number(0, 600000, n)) return error;
      faults.answerDelay = std::chrono::milliseconds{n};
    } else if (name == "--wire-paced") {
      if (!flag()) return error;
      o.wirePaced = true;
    } else if (name == "--pull-at") {
      if (!number(1, INT_MAX, o.pullAtLine)) return error;
    } else if (name == "--silent-from") {
      if (!number(1, INT_MAX, faults.silentFromRequest)) return error;
    } else if (name == "--wrong-echo") {
      if (!number(0, INT_MAX, faults.wrongEchoFirst)) return error;
    } else if (name == "--wrong-echo-from") {
      if (!number(1, INT_MAX, faults.wrongEchoFromRequest)) return error;
    } else if (name == "--garbage-every") {
      if (!number(1, INT_MAX, faults.garbageEvery)) return error;
    } else if (name == "--no-echo-first-try") {
      if (!flag()) return error;
      faults.noEchoOnFirstTry = true;
    } else if (name == "--bad-cell") {
      std::string text;
      if (!value(text)) return "--bad-cell needs an address";
      const bool hex = text.starts_with("0x") || text.starts_with("0X");
      const char* first = text.data() + (hex ? 2 : 0);
      std::uint32_t address = 0;
      const auto [end, fault] = std::from_chars(first, text.data() + text.size(), address, hex ? 16 : 10);
      if (fault != std::errc() || end != text.data() + text.size() || first == end) {
        return "--bad-cell: '" + text + "' is not an address (decimal, or hex after 0x)";
      }
      faults.badCell = address;
    } else if (name == "--xon-xoff") {
      faults.xonXoffEvery = 1;
      if (inlineValue && !ParseInt(*inlineValue, 1, INT_MAX, faults.xonXoffEvery)) {
        return "--xon-xoff: '" + *inlineValue + "' is not a whole number from 1 up";
      }
    } else if (name == "--verbose" || name == "-v") {
      if (!flag()) return error;
      o.verbose = true;
    } else {
      return "unknown option '" + arguments[i] + "'";
    }
  }
  return {};
}

// The faults of options that exclude or need one another.
std::string CheckCombination(const RadioSimOptions& o) {
  if (o.link == RadioSimOptions::Link::Udp && !o.linkPath.empty()) {
    return "--link names a pseudo-terminal; it cannot go with --udp";
  }
  if (o.link == RadioSimOptions::Link::Udp && o.pullAtLine > 0) {
    return "--pull-at pulls a serial cable; it cannot go with --udp";
  }
  if (o.link == RadioSimOptions::Link::Serial && o.passcode) {
    return "--passcode applies to a UDP radio; add --udp";
  }
  if (o.radio.faults.xonXoffEvery > 0 && o.radio.model != 797 && o.radio.model != 729) {
    return "--xon-xoff needs --model 797 (or 729): only those models take text lines";
  }
  return {};
}

std::string WithRadioNumber(std::string text, int number) {
  const std::string digits = std::to_string(number);
  for (std::size_t at = text.find("%d"); at != std::string::npos; at = text.find("%d", at)) {
    text.replace(at, 2, digits);
    at += digits.size();
  }
  return text;
}

// The dotted address `offset` places after `address` (a dotted one); empty past
// 255.255.255.255.
std::string AddressAfter(const std::string& address, int offset) {
  in_addr parsed {};
  if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return {};
  const std::uint64_t next = std::uint64_t{ntohl(parsed.s_addr)} + static_cast<std::uint64_t>(offset);
  if (next > 0xFFFFFFFFu) return {};
  parsed.s_addr = htonl(static_cast<std::uint32_t>(next));
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &parsed, text, sizeof text);
  return text;
}

}  // namespace

ParsedRadioSimOptions ParseRadioSimOptions(const std::vector<std::string>& arguments) {
  ParsedRadioSimOptions parsed;
  RadioSimOptions& o = parsed.options;
  for (const std::string& a : arguments) {
    o.help = o.help || a == "--help" || a == "-h";
    o.version = o.version || a == "--version" || a == "-V";
  }
  if (o.help || o.version) return parsed;
  auto fail = [&](const std::string& why) {
    parsed.error = why;
    parsed.radios.clear();
    return parsed;
  };

  // The common options, then each "--radio K" group with its number's text.
  std::vector<std::string> common;
  std::vector<std::pair<std::string, std::vector<std::string>>> groups;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--radio" || a.rfind("--radio=", 0) == 0) {
      std::string number = a.size() > 8 ? a.substr(8) : std::string{};
      if (a.size() == 7) {
        if (i + 1 >= arguments.size()) return fail("--radio needs a number");
        number = arguments[++i];
      }
      groups.push_back({number, {}});
    } else {
      (groups.empty() ? common : groups.back().second).push_back(a);
    }
  }
  if (std::string error = ApplyOptions(common, o, false); !error.empty()) return fail(error);

  parsed.radios.assign(static_cast<std::size_t>(o.count), o);
  std::vector<bool> ownGroup(parsed.radios.size(), false);
  for (const auto& [numberText, groupArguments] : groups) {
    int k = 0;
    if (!ParseInt(numberText, 1, o.count, k)) {
      return fail("--radio: '" + numberText + "' is not a radio number from 1 to " +
                  std::to_string(o.count) + " (--count " + std::to_string(o.count) + ")");
    }
    const std::string error = ApplyOptions(groupArguments, parsed.radios[k - 1], true);
    if (!error.empty()) return fail("--radio " + numberText + ": " + error);
    ownGroup[k - 1] = true;
  }
  if (o.count > 1 && !o.linkPath.empty() && o.linkPath.find("%d") == std::string::npos) {
    return fail("--link: with --count " + std::to_string(o.count) +
                " each radio needs its own link; put %d in '" + o.linkPath + "'");
  }

  for (int k = 1; k <= o.count; ++k) {
    RadioSimOptions& radio = parsed.radios[k - 1];
    const std::string error = CheckCombination(radio);
    if (!error.empty()) {
      return fail(ownGroup[k - 1] ? "--radio " + std::to_string(k) + ": " + error : error);
    }
    if (!o.fleet) continue;
    for (std::string* path : {&radio.linkPath, &radio.imageIn, &radio.imageOut, &radio.expect}) {
      *path = WithRadioNumber(*path, k);
    }
    if (radio.link == RadioSimOptions::Link::Udp) {
      radio.udpAddress = AddressAfter(o.udpAddress, k - 1);
      if (radio.udpAddress.empty()) {
        return fail("--udp: " + std::to_string(o.count) + " radios from " + o.udpAddress +
                    " run past the last IPv4 address");
      }
    }
    for (int j = 1; j < k; ++j) {
      if (!radio.imageOut.empty() && radio.imageOut == parsed.radios[j - 1].imageOut) {
        return fail("--image-out: radios " + std::to_string(j) + " and " + std::to_string(k) +
                    " would both write '" + radio.imageOut + "'; put %d in its name");
      }
    }
  }
  return parsed;
}

}  // namespace flash::sim
