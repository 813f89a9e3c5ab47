#include "cli/personality_prompt.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <string>

#include "link/write_all.h"

namespace flash {
namespace {

constexpr std::size_t kMaxAnswerLength = 64;  // characters kept of one typed line

constexpr std::string_view kQuestion =
    "\nBanwick - Extended Memory\n"
    "The Banwick with Extended Memory. Please select which memory location you would like to "
    "use to store this program. Or you can press CANCEL to abort this update. \n\n"
    " When operating the radio you can switch programs by pressing and holding the MENU "
    "button. \n"
    "Radio Personality 1 to 6, or c to cancel: ";
constexpr std::string_view kAskAgain = "Please type 1, 2, 3, 4, 5 or 6, or c to cancel: ";

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::optional<int> ParsePersonalityAnswer(std::string_view text) {
  text = Trimmed(text);
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '6') return text[0] - '0';
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "c" || lower == "cancel") return -1;
  return std::nullopt;
}

PersonalityPromptResult AskPersonality(int stopFd, const std::function<int()>& takeStop) {
  PersonalityPromptResult result;
  int inFd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  int outFd = inFd;
  const bool ownFd = inFd >= 0;
  if (!ownFd && ::isatty(STDIN_FILENO)) {
    inFd = STDIN_FILENO;
    outFd = STDERR_FILENO;
  }
  if (inFd < 0) return result;
  result.terminalFound = true;

  WriteAll(outFd, kQuestion);
  std::string line;
  for (;;) {
    pollfd watched[2] = {{inFd, POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].revents & POLLIN) {
      result.stopSignal = takeStop();
      WriteAll(outFd, "\n");
      break;
    }
    char buffer[256];
    const ssize_t n = ::read(inFd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // end of input: the question is cancelled
    bool answered = false;
    for (ssize_t i = 0; i < n && !answered; ++i) {
      if (buffer[i] != '\n') {
        if (line.size() < kMaxAnswerLength) line += buffer[i];
        continue;
      }
      if (const std::optional<int> k = ParsePersonalityAnswer(line)) {
        result.personality = *k;
        answered = true;
      } else {
        WriteAll(outFd, kAskAgain);
      }
      line.clear();
    }
    if (answered) break;
  }
  if (ownFd) ::close(inFd);
  return result;
}

}  // namespace flash
