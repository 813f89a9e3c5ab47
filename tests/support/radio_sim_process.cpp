#include "tests/support/radio_sim_process.h"

#include <chrono>

namespace flash::test {
namespace {

using namespace std::chrono_literals;
constexpr auto kStartTimeout = 5s;  // the ready line comes at once
constexpr auto kStopTimeout = 5s;
constexpr char kReadyMark[] = " radio on ";

ChildOptions RadioOptions(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& workingDirectory) {
  ChildOptions options;
  options.argv.push_back(program);
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.workingDirectory = workingDirectory;
  return options;
}

}  // namespace

RadioSim::RadioSim(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingDirectory)
    : process_(RadioOptions(program, arguments, workingDirectory)) {
  const auto ready = [](const std::string& out) {
    const std::size_t at = out.find(kReadyMark);
    return at != std::string::npos && out.find('\n', at) != std::string::npos;
  };
  if (!process_.WaitForOutput(ready, kStartTimeout)) return;
  const std::size_t at = process_.out().find(kReadyMark) + sizeof kReadyMark - 1;
  endpoint_ = process_.out().substr(at, process_.out().find('\n', at) - at);
}

int RadioSim::udpPort() const {
  const std::size_t colon = endpoint_.rfind(':');
  return colon == std::string::npos ? 0 : std::stoi(endpoint_.substr(colon + 1));
}

bool RadioSim::WaitForRequest(int n, std::chrono::milliseconds timeout) {
  const std::string mark = "radio-sim: #" + std::to_string(n) + " ";
  return process_.WaitForErrorOutput(
      [&](const std::string& err) { return err.find(mark) != std::string::npos; }, timeout);
}

int RadioSim::Stop(int signalNumber) {
  process_.Signal(signalNumber);
  return process_.Wait(kStopTimeout);
}

}  // namespace flash::test
