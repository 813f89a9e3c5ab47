#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace flash {
namespace {

// What a command line was read as, or why it was refused.
std::string ReadAs(const std::vector<std::string>& arguments) {
  const ParsedCliOptions parsed = ParseCliOptions(arguments);
  if (!parsed.error.empty()) return "refused: " + parsed.error;
  const CliOptions& o = parsed.options;
  const char* const commands[] = {"program", "verify", "test", "check", "ports", "help", "version"};
  std::string text = commands[static_cast<int>(o.command)];
  if (o.command >= CliCommand::Ports) return text;
  text += " " + o.rufFile;
  if (o.serialDevice) text += " serial=" + *o.serialDevice;
  if (o.udpHost) text += " udp=" + *o.udpHost + ":" + std::to_string(o.udpPort);
  if (o.passcode) text += " passcode=" + std::to_string(*o.passcode);
  if (o.ignoreErrors) text += " ignore-errors";
  if (o.personality) text += " personality=" + std::to_string(*o.personality);
  if (o.tracePath) text += " trace=" + *o.tracePath;
  if (o.quiet || o.verbose) text += o.quiet ? " quiet" : " verbose";
  return text;
}

TEST(CliOptions, ReadsEveryFormTheToolTakesAndSaysWhatIsWrongWithAnyOther) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"verify", "--serial=/dev/ttyUSB0", "a.ruf", "--ignore-errors", "--trace", "t.txt"},
       "verify a.ruf serial=/dev/ttyUSB0 ignore-errors trace=t.txt"},
      {{"test", "x.ruf", "--udp", "radio.local", "--passcode", "0", "--personality", "CANCEL"},
       "test x.ruf udp=radio.local:49152 passcode=0 personality=-1"},
      {{"program", "x.ruf", "--udp=127.0.0.2:65535", "--passcode=65535", "--personality", "6"},
       "program x.ruf udp=127.0.0.2:65535 passcode=65535 personality=6"},
      {{"check", "--", "--odd.ruf"}, "check --odd.ruf"},
      {{"-q", "program", "a.ruf", "--serial", "COM2"}, "program a.ruf serial=COM2 quiet"},
      {{"verify", "a.ruf", "-v"}, "verify a.ruf verbose"},
      {{"ports"}, "ports"},
      {{"program", "--help"}, "help"},
      {{"program"}, "refused: the RUF-FILE is missing"},
      {{"program", "a.ruf", "b.ruf"}, "refused: one RUF-FILE only ('b.ruf' is one too many)"},
      {{"verify", "a.ruf", "--bogus"}, "refused: unknown option --bogus"},
      {{"program", "a.ruf", "--serial", "--udp", "h"}, "refused: --serial needs a value"},
      {{"program", "a.ruf", "--serial", "COM1", "--udp", "h"},
       "refused: --serial and --udp exclude each other"},
      {{"program", "a.ruf", "--passcode=-1"},
       "refused: --passcode -1: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--passcode", "65536"},
       "refused: --passcode 65536: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--udp", "h:0"},
       "refused: --udp h:0: the port must be a number from 1 to 65535"},
      {{"program", "a.ruf", "--udp", ":5000"}, "refused: --udp :5000: the host is missing (HOST[:PORT])"},
      {{"program", "a.ruf", "--udp", "::1:5000"},
       "refused: --udp ::1:5000: HOST must be an IPv4 address or a host name"},
      {{"program", "a.ruf", "--personality", "0"}, "refused: --personality 0: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--personality", "7"}, "refused: --personality 7: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--ignore-errors=1"}, "refused: --ignore-errors takes no value"},
      {{"program", "a.ruf", "--trace", "a", "--trace", "b"}, "refused: --trace is given twice"},
      {{"check", "a.ruf", "--serial", "COM1"}, "refused: check takes no options (--serial)"},
  };
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(ReadAs(arguments), expected) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace flash
