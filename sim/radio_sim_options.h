#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/radio_config.h"

namespace flash::sim {

inline constexpr const char* kDefaultUdpAddress = "127.0.0.2";
inline constexpr int kDefaultUdpPort = 49152;
// Each serial radio holds three descriptors and each radio answers in the one poll loop.
inline constexpr int kMaxRadios = 100;

// The radio-sim program's command line.
struct RadioSimOptions {
  enum class Link { Serial, Udp };
  Link link = Link::Serial;
  std::string linkPath;  // --link: a symbolic link to the pseudo-terminal
  std::string udpAddress = kDefaultUdpAddress;
  int udpPort = kDefaultUdpPort;  // 0: any free port (the ready line names it)
  std::optional<int> passcode;    // unset: datagrams with any passcode are taken
  int count = 1;
  bool fleet = false;  // --count given: every radio's lines name it
  RadioConfig radio;
  std::string imageIn;
  std::string imageOut;
  std::string expect;
  bool wirePaced = false;
  // K > 0, serial only: when the K-th data line arrives the cable is pulled: the radio
  // closes its end of the terminal and removes its --link, unanswered.
  int pullAtLine = 0;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

struct ParsedRadioSimOptions {
  RadioSimOptions options;              // the options before any --radio
  std::vector<RadioSimOptions> radios;  // radio K at K-1: its link, "%d" replaced, and its own options
  std::string error;                    // empty when the command line is good
};

// --help and --version win wherever they stand, over any fault of the rest. The
// options of a "--radio K" group apply to radio K over the common ones.
ParsedRadioSimOptions ParseRadioSimOptions(const std::vector<std::string>& arguments);
std::string RadioSimUsage();

}  // namespace flash::sim
