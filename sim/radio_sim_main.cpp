#include <cstdio>
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

int main(int argc, char** argv) {
  using namespace flash::sim;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParsedRadioSimOptions parsed = ParseRadioSimOptions(arguments);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "radio-sim: %s; try 'radio-sim --help'\n", parsed.error.c_str());
    return kExitUsage;
  }
  const RadioSimOptions& options = parsed.options;
  if (options.help) {
    std::fputs(RadioSimUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("radio-sim " FLASH_VERSION_LINES);
    return 0;
  }

  SimulatedRadio radio(options.radio);
  MemoryImage expected;
  if (!options.imageIn.empty() && !LoadImageFile(options.imageIn, radio.memory())) return 1;
  if (options.verbose && !options.imageIn.empty()) {
    std::fprintf(stderr, "radio-sim: loaded %zu bytes from %s\n", radio.memory().size(),
                 options.imageIn.c_str());
  }
  if (!options.expect.empty() && !LoadImageFile(options.expect, expected)) return 1;
  // The poll loop sees a stop signal on this pipe and ends.
  const flash::StopSignals stops;
  if (!stops.ok()) {
    std::perror("radio-sim: cannot install the signal handlers");
    return 1;
  }
  if (options.verbose) {
    std::fprintf(stderr, "radio-sim: model %d, identification \"%s\"\n", options.radio.model,
                 radio.IdentificationAnswer().substr(0, radio.IdentificationAnswer().size() - 1)
                     .c_str());
  }

  RequestPreciseTimers();
  const int status = options.link == RadioSimOptions::Link::Udp
                         ? RunUdpRadio(options, radio, stops.fd())
                         : RunSerialRadio(options, radio, stops.fd());

  // A radio that never came up leaves an earlier image file as it was.
  if (status == 0 && !options.imageOut.empty()) {
    std::string error;
    if (radio.memory().SaveIntelHex(options.imageOut, &error)) {
      std::fprintf(stderr, "radio-sim: wrote %zu bytes of memory to %s\n", radio.memory().size(),
                   options.imageOut.c_str());
    } else {
      std::fprintf(stderr, "radio-sim: cannot write the memory image: %s\n", error.c_str());
      return 1;
    }
  }
  if (status == 0 && !options.expect.empty()) {
    const ImageComparison comparison = CompareImages(expected, radio.memory());
    if (comparison.equal) {
      std::printf("radio-sim: the radio's memory equals %s (%zu bytes)\n", options.expect.c_str(),
                  expected.size());
    } else {
      std::printf("radio-sim: the radio's memory differs from %s:\n%s\n", options.expect.c_str(),
                  comparison.Describe().c_str());
      return 3;
    }
  }
  return status;
}
