#include "bench/bare_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/record_frames.h"
#include "engine/ruf_records.h"
#include "sim/intel_hex_line.h"

namespace flash::bench {
namespace {

constexpr int kAnswerLimitMs = 2000;
constexpr std::uint8_t kProgramModeByte = 0x42;
constexpr std::size_t kDataBytes = 16;

// Reads until an answer ending in CR has arrived.
bool AwaitAnswer(int fd) {
  char buffer[256];
  std::size_t got = 0;
  for (;;) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, kAnswerLimitMs) <= 0) return false;
    const ssize_t n = ::read(fd, buffer + got, sizeof buffer - got);
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
    if (std::memchr(buffer, '\r', got) != nullptr) return true;
    if (got == sizeof buffer) got = 0;
  }
}

bool Exchange(int fd, const std::uint8_t* request, std::size_t size) {
  return ::write(fd, request, size) == static_cast<ssize_t>(size) && AwaitAnswer(fd);
}

}  // namespace

double TimeBareClientLines(const std::string& device, std::size_t lines) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios raw{};
  ::tcgetattr(fd, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(fd, TCSANOW, &raw);

  // The frames as the engine builds them from the lines of a file, made before the clock starts.
  std::vector<std::vector<std::uint8_t>> frames;
  const std::uint8_t data[kDataBytes] = {};
  for (std::size_t line = 0; line < lines; ++line) {
    IntelRecord record;
    const auto address = static_cast<std::uint16_t>(line * kDataBytes);
    if (!ParseIntelHex(sim::FormatIntelHexLine(0x00, address, data, kDataBytes), record).empty()) break;
    std::uint8_t frame[kDataBytes + 7];
    frames.emplace_back(frame, frame + BuildRecordFrame(kProgramModeByte, record, frame));
  }
  double seconds = -1;
  const auto text = [](const char* s) { return reinterpret_cast<const std::uint8_t*>(s); };
  if (frames.size() == lines && Exchange(fd, text("?V\r"), 3) && Exchange(fd, text("ZZ\r"), 3)) {
    const auto start = std::chrono::steady_clock::now();
    std::size_t line = 0;
    while (line < lines && Exchange(fd, frames[line].data(), frames[line].size())) ++line;
    if (line == lines) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  }
  ::close(fd);
  return seconds;
}

}  // namespace flash::bench
