#include "sim/radio_sim_options.h"

#include <climits>
#include <optional>

#include "engine/number_text.h"

namespace flash::sim {

namespace {

bool ParseInt(const std::string& text, int low, int high, int& out) {
  const std::optional<std::int32_t> value = ReadWholeDecimal(text, low, high);
  if (value) out = *value;
  return value.has_value();
}

bool ParseUdpEndpoint(const std::string& text, RadioSimOptions& options) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    options.udpAddress = text;
    return !text.empty();
  }
  options.udpAddress = text.substr(0, colon);
  if (options.udpAddress.empty()) options.udpAddress = kDefaultUdpAddress;
  return ParseInt(text.substr(colon + 1), 0, 65535, options.udpPort);
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

Other:
  -v, --verbose           Print every request and answer on standard error.
  -h, --help              Show this text.
  -V, --version           Print the version.

When the radio is ready it prints one line on standard output:
  radio-sim: serial radio on /dev/pts/N
  radio-sim: UDP radio on ADDR:PORT
It runs until SIGINT (Ctrl-C) or SIGTERM and then exits with status 0.
)";
}

ParsedRadioSimOptions ParseRadioSimOptions(const std::vector<std::string>& arguments) {
  ParsedRadioSimOptions parsed;
  RadioSimOptions& o = parsed.options;
  RadioFaults& faults = o.radio.faults;
  bool sawPasscode = false;
  for (const std::string& a : arguments) {
    o.help = o.help || a == "--help" || a == "-h";
    o.version = o.version || a == "--version" || a == "-V";
  }
  if (o.help || o.version) return parsed;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> inlineValue;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    auto fail = [&](const std::string& why) {
      parsed.error = why;
      return parsed;
    };
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
        parsed.error = name + " needs a number";
        return false;
      }
      if (!ParseInt(text, low, high, out)) {
        parsed.error = name + ": '" + text + "' is not a whole number from " +
                       std::to_string(low) + " to " + std::to_string(high);
        return false;
      }
      return true;
    };
    auto flag = [&]() {
      if (inlineValue) {
        parsed.error = name + " takes no value";
        return false;
      }
      return true;
    };

    int n = 0;
    if (name == "--link") {
      if (!value(o.linkPath) || o.linkPath.empty()) return fail("--link needs a path");
    } else if (name == "--udp") {
      o.link = RadioSimOptions::Link::Udp;
      std::string endpoint;
      if (inlineValue) {
        endpoint = *inlineValue;
      } else if (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0) {
        endpoint = arguments[++i];
      }
      if (!endpoint.empty() && !ParseUdpEndpoint(endpoint, o)) {
        return fail("--udp: '" + endpoint + "' is not ADDR:PORT with a port from 0 to 65535");
      }
    } else if (name == "--passcode") {
      if (!number(INT_MIN, INT_MAX, n)) return parsed;
      o.passcode = n;
      sawPasscode = true;
    } else if (name == "--model") {
      if (!number(0, 9999, o.radio.model)) return parsed;
    } else if (name == "--dsp") {
      if (!number(0, 9999, o.radio.dspNumber)) return parsed;
    } else if (name == "--extended") {
      if (!flag()) return parsed;
      o.radio.extendedMemory = true;
    } else if (name == "--report-model") {
      if (!number(0, 99999, n)) return parsed;
      o.radio.reportModelCode = n;
    } else if (name == "--image-in") {
      if (!value(o.imageIn) || o.imageIn.empty()) return fail("--image-in needs a file");
    } else if (name == "--image-out") {
      if (!value(o.imageOut) || o.imageOut.empty()) return fail("--image-out needs a file");
    } else if (name == "--expect") {
      if (!value(o.expect) || o.expect.empty()) return fail("--expect needs a file");
    } else if (name == "--delay-ms") {
      if (!number(0, 600000, n)) return parsed;
      faults.answerDelay = std::chrono::milliseconds{n};
    } else if (name == "--wire-paced") {
      if (!flag()) return parsed;
      o.wirePaced = true;
    } else if (name == "--silent-from") {
      if (!number(1, INT_MAX, faults.silentFromRequest)) return parsed;
    } else if (name == "--wrong-echo") {
      if (!number(0, INT_MAX, faults.wrongEchoFirst)) return parsed;
    } else if (name == "--wrong-echo-from") {
      if (!number(1, INT_MAX, faults.wrongEchoFromRequest)) return parsed;
    } else if (name == "--garbage-every") {
      if (!number(1, INT_MAX, faults.garbageEvery)) return parsed;
    } else if (name == "--no-echo-first-try") {
      if (!flag()) return parsed;
      faults.noEchoOnFirstTry = true;
    } else if (name == "--xon-xoff") {
      faults.xonXoffEvery = 1;
      if (inlineValue && !ParseInt(*inlineValue, 1, INT_MAX, faults.xonXoffEvery)) {
        return fail("--xon-xoff: '" + *inlineValue + "' is not a whole number from 1 up");
      }
    } else if (name == "--verbose" || name == "-v") {
      if (!flag()) return parsed;
      o.verbose = true;
    } else {
      return fail("unknown option '" + arguments[i] + "'");
    }
  }

  if (o.link == RadioSimOptions::Link::Udp && !o.linkPath.empty()) {
    parsed.error = "--link names a pseudo-terminal; it cannot go with --udp";
  } else if (o.link == RadioSimOptions::Link::Serial && sawPasscode) {
    parsed.error = "--passcode applies to a UDP radio; add --udp";
  } else if (faults.xonXoffEvery > 0 && o.radio.model != 797 && o.radio.model != 729) {
    parsed.error = "--xon-xoff needs --model 797 (or 729): only those models take text lines";
  }
  return parsed;
}

}  // namespace flash::sim
