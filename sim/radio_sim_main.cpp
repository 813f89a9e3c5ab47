#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash_version.h"
#include "link/stop_signals.h"
#include "sim/radio_sim_links.h"
#include "sim/radio_sim_options.h"
#include "sim/image_comparison.h"
#include "sim/ruf_image.h"
#include "sim/simulated_radio.h"
#include "sim/wake_timing.h"

namespace {

constexpr int kExitUsage = 64;  // sysexits' EX_USAGE, as flash-update-cli

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

// An Intel HEX image, or the memory a Program of a .ruf file leaves.
static bool LoadImageFile(const std::string& path, flash::sim::MemoryImage& image) {
  using namespace flash::sim;
  std::string error;
  bool loaded = true;
  if (EndsWith(path, ".ruf") || EndsWith(path, ".RUF")) {
    image = ImageFromRufFile(path, &error);
    loaded = error.empty();
  } else {
    loaded = image.LoadIntelHex(path, &error);
  }
  if (!loaded) std::fprintf(stderr, "radio-sim: cannot load the memory image %s: %s\n", path.c_str(), error.c_str());
  return loaded;
}

namespace {

// One radio of the run with what it is compared with at exit.
struct Radio {
  flash::sim::RadioSimOptions options;
  std::string prefix;  // starts its lines: "radio-sim: ", or "radio-sim: radio K: "
  std::unique_ptr<flash::sim::SimulatedRadio> radio;
  flash::sim::MemoryImage expected;
  std::unique_ptr<flash::sim::RadioStation> station;
};

// Moves every radio's link until a byte can be read from stopFd (written by the
// signal handler): 0 then, 1 after printing why the loop failed.
int RunRadios(std::vector<Radio>& radios, int stopFd) {
  using Clock = std::chrono::steady_clock;
  std::vector<pollfd> fds;
  std::vector<std::size_t> firsts(radios.size());
  for (;;) {
    fds.assign(1, pollfd{stopFd, POLLIN, 0});
    std::optional<Clock::time_point> wake;
    for (std::size_t k = 0; k < radios.size(); ++k) {
      firsts[k] = fds.size();
      radios[k].station->Watch(fds);
      wake = flash::sim::EarliestWake(wake, radios[k].station->NextWake());
    }
    const timespec timeout = flash::sim::PollTimeoutUntil(wake, Clock::now());
    if (ppoll(fds.data(), fds.size(), &timeout, nullptr) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "radio-sim: poll failed: %s\n", std::strerror(errno));
      return 1;
    }
    if (fds[0].revents != 0) return 0;
    for (std::size_t k = 0; k < radios.size(); ++k) radios[k].station->Service(&fds[firsts[k]]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace flash::sim;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParsedRadioSimOptions parsed = ParseRadioSimOptions(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "radio-sim: %s; try 'radio-sim --help'\n", parsed.error.c_str());
    return kExitUsage;
  }
  if (parsed.options.help) {
    std::fputs(RadioSimUsage().c_str(), stdout);
    return 0;
  }
  if (parsed.options.version) {
    std::puts("radio-sim " FLASH_VERSION_LINES);
    return 0;
  }
  const bool fleet = parsed.options.fleet;

  std::vector<Radio> radios(parsed.radios.size());
  for (std::size_t k = 0; k < radios.size(); ++k) {
    Radio& r = radios[k];
    r.options = parsed.radios[k];
    r.prefix = fleet ? "radio-sim: radio " + std::to_string(k + 1) + ": " : "radio-sim: ";
    r.radio = std::make_unique<SimulatedRadio>(r.options.radio);
    if (!r.options.imageIn.empty() && !LoadImageFile(r.options.imageIn, r.radio->memory())) return 1;
    if (r.options.verbose && !r.options.imageIn.empty()) {
      std::fprintf(stderr, "%sloaded %zu bytes from %s\n", r.prefix.c_str(), r.radio->memory().size(),
                   r.options.imageIn.c_str());
    }
    if (!r.options.expect.empty() && !LoadImageFile(r.options.expect, r.expected)) return 1;
  }
  // The poll loop sees a stop signal on this pipe and ends.
  const flash::StopSignals stops;
  if (!stops.ok()) {
    std::perror("radio-sim: cannot install the signal handlers");
    return 1;
  }
  for (const Radio& r : radios) {
    if (!r.options.verbose) continue;
    const std::string answer = r.radio->IdentificationAnswer();
    std::fprintf(stderr, "%smodel %d, identification \"%s\"\n", r.prefix.c_str(),
                 r.options.radio.model, answer.substr(0, answer.size() - 1).c_str());
  }

  RequestPreciseTimers();
  // Every radio comes up before any ready line is printed: a reader of the lines
  // may use each link at once.
  std::string readyLines;
  for (Radio& r : radios) {
    if (r.options.link == RadioSimOptions::Link::Udp && r.options.udpPort == 0 && &r != &radios[0]) {
      r.options.udpPort = radios[0].station->udpPort();  // one port for the whole rack
    }
    r.station = r.options.link == RadioSimOptions::Link::Udp
                    ? MakeUdpStation(r.options, *r.radio, r.prefix)
                    : MakeSerialStation(r.options, *r.radio, r.prefix);
    if (!r.station->Open()) return 1;
    readyLines += r.station->ReadyLines();
  }
  std::fputs(readyLines.c_str(), stdout);
  std::fflush(stdout);

  const int status = RunRadios(radios, stops.fd());
  // A radio that never came up leaves an earlier image file as it was.
  if (status != 0) return status;
  bool unwritten = false;
  bool differs = false;
  for (const Radio& r : radios) {
    const MemoryImage& memory = r.radio->memory();
    if (!r.options.imageOut.empty()) {
      std::string error;
      if (!memory.SaveIntelHex(r.options.imageOut, &error)) {
        std::fprintf(stderr, "%scannot write the memory image: %s\n", r.prefix.c_str(), error.c_str());
        unwritten = true;
        continue;
      }
      std::fprintf(stderr, "%swrote %zu bytes of memory to %s\n", r.prefix.c_str(), memory.size(),
                   r.options.imageOut.c_str());
    }
    if (r.options.expect.empty()) continue;
    // Results name the link the tool was pointed at, as its summary does.
    const std::string said = "radio-sim: " + (fleet ? r.station->LinkName() + ": " : "");
    const ImageComparison comparison = CompareImages(r.expected, memory);
    if (comparison.equal) {
      std::printf("%sthe radio's memory equals %s (%zu bytes)\n", said.c_str(),
                  r.options.expect.c_str(), r.expected.size());
    } else {
      std::printf("%sthe radio's memory differs from %s:\n%s\n", said.c_str(),
                  r.options.expect.c_str(), comparison.Describe().c_str());
      differs = true;
    }
  }
  return unwritten ? 1 : differs ? 3 : 0;
}
