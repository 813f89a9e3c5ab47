#include "bench/bare_client.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>

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

  double seconds = -1;
  const auto text = [](const char* s) { return reinterpret_cast<const std::uint8_t*>(s); };
  if (Exchange(fd, text("?V\r"), 3) && Exchange(fd, text("ZZ\r"), 3)) {
    std::uint8_t frame[kDataBytes + 7] = {kProgramModeByte, kDataBytes};
    const auto start = std::chrono::steady_clock::now();
    std::size_t line = 0;
    for (; line < lines; ++line) {
      const std::uint16_t address = static_cast<std::uint16_t>(line * kDataBytes);
      frame[2] = static_cast<std::uint8_t>(address >> 8);
      frame[3] = static_cast<std::uint8_t>(address & 0xFF);
      unsigned sum = kDataBytes + frame[2] + frame[3];  // type 00, data bytes 0
      frame[kDataBytes + 5] = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
      frame[kDataBytes + 6] = '\r';
      if (!Exchange(fd, frame, sizeof frame)) break;
    }
    if (line == lines) {
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  }
  ::close(fd);
  return seconds;
}

}  // namespace flash::bench
