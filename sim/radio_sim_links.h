#pragma once

#include <poll.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/radio_sim_options.h"
#include "sim/simulated_radio.h"

namespace flash::sim {

// One simulated radio on its link. The program's one poll loop watches the
// descriptors of every radio and hands each radio back what its own showed.
class RadioStation {
 public:
  virtual ~RadioStation() = default;
  // Makes the link; false after printing why not on standard error.
  virtual bool Open() = 0;
  // What the program prints once the link is up: the ready line, after the line of
  // the --link path when there is one.
  virtual std::string ReadyLines() const = 0;
  // The link as results name it: the --link path, the terminal, or ADDR:PORT.
  virtual std::string LinkName() const = 0;
  // The UDP port the radio bound; 0 on a serial line.
  virtual int udpPort() const { return 0; }
  // Appends the descriptors to watch; Service gets them back, in the same order,
  // with what poll saw on them.
  virtual void Watch(std::vector<pollfd>& fds) const = 0;
  virtual void Service(const pollfd* fds) = 0;
  // When the radio must act without new input (an answer due, a partial request
  // to give up); none while nothing waits.
  virtual std::optional<std::chrono::steady_clock::time_point> NextWake() const = 0;
};

// logPrefix starts every line the radio prints: "radio-sim: ", or with several
// radios "radio-sim: radio K: ".
std::unique_ptr<RadioStation> MakeSerialStation(const RadioSimOptions& options,
                                                SimulatedRadio& radio, std::string logPrefix);
std::unique_ptr<RadioStation> MakeUdpStation(const RadioSimOptions& options,
                                             SimulatedRadio& radio, std::string logPrefix);

// Prints the radio's log on standard error when verbose, then empties it so that a
// long session does not grow.
void ReportExchanges(SimulatedRadio& radio, bool verbose, const std::string& logPrefix);

}  // namespace flash::sim
