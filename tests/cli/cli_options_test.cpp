#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace flash {
namespace {

ParsedCliOptions Parse(std::vector<std::string> arguments) { return ParseCliOptions(arguments); }

TEST(CliOptions, ReadsTheCommandTheFileAndEveryOption) {
  const ParsedCliOptions p =
      Parse({"program", "746-demo.ruf", "--udp", "127.0.0.2:50000", "--passcode", "4242",
             "--ignore-errors", "--personality", "4", "--trace", "t.txt"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Program);
  EXPECT_EQ(p.options.rufFile, "746-demo.ruf");
  EXPECT_EQ(p.options.udpHost, "127.0.0.2");
  EXPECT_EQ(p.options.udpPort, 50000);
  EXPECT_EQ(p.options.passcode, 4242);
  EXPECT_TRUE(p.options.ignoreErrors);
  EXPECT_EQ(p.options.personality, 4);
  EXPECT_EQ(p.options.tracePath, "t.txt");
  EXPECT_FALSE(p.options.serialDevice.has_value());
}

TEST(CliOptions, TakesOptionsBeforeTheFileAndInTheEqualsForm) {
  const ParsedCliOptions p = Parse({"verify", "--serial=/dev/ttyUSB0", "a.ruf"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Verify);
  EXPECT_EQ(p.options.serialDevice, "/dev/ttyUSB0");
  EXPECT_EQ(p.options.rufFile, "a.ruf");
}

TEST(CliOptions, UdpPortDefaultsTo49152AndPersonalityMayBeCancel) {
  const ParsedCliOptions p = Parse({"test", "x.ruf", "--udp", "radio.local", "--personality", "CANCEL"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Test);
  EXPECT_EQ(p.options.udpHost, "radio.local");
  EXPECT_EQ(p.options.udpPort, 49152);
  EXPECT_EQ(p.options.personality, kPersonalityCancel);
}

TEST(CliOptions, AFileNamedLikeAnOptionFollowsTheDoubleDash) {
  const ParsedCliOptions p = Parse({"check", "--", "--odd.ruf"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Check);
  EXPECT_EQ(p.options.rufFile, "--odd.ruf");
}

TEST(CliOptions, HelpAnywhereAsksForTheUsage) {
  EXPECT_EQ(Parse({"program", "--help"}).options.command, CliCommand::Help);
  EXPECT_EQ(Parse({"-h"}).options.command, CliCommand::Help);
  EXPECT_EQ(Parse({"help"}).error, "");
}

TEST(CliOptions, RefusesEveryMalformedCommandLineWithItsReason) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command given"},
      {{"flash", "a.ruf"}, "unknown command 'flash'"},
      {{"program"}, "the RUF-FILE is missing"},
      {{"program", "a.ruf", "b.ruf"}, "one RUF-FILE only ('b.ruf' is one too many)"},
      {{"program", "a.ruf", "--bogus"}, "unknown option --bogus"},
      {{"program", "a.ruf", "--serial"}, "--serial needs a value"},
      {{"program", "a.ruf", "--serial", "--udp", "h"}, "--serial needs a value"},
      {{"program", "a.ruf", "--serial", "COM1", "--udp", "h"}, "--serial and --udp exclude each other"},
      {{"program", "a.ruf", "--passcode", "65536"},
       "--passcode 65536: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--passcode", "-1"},
       "--passcode -1: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--passcode=-1"},
       "--passcode -1: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--udp", "h:0"}, "--udp h:0: the port must be a number from 1 to 65535"},
      {{"program", "a.ruf", "--udp", "h:99999"},
       "--udp h:99999: the port must be a number from 1 to 65535"},
      {{"program", "a.ruf", "--udp", ":5000"}, "--udp :5000: the host is missing (HOST[:PORT])"},
      {{"program", "a.ruf", "--udp", "::1:5000"},
       "--udp ::1:5000: HOST must be an IPv4 address or a host name"},
      {{"program", "a.ruf", "--personality", "7"}, "--personality 7: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--personality", "0"}, "--personality 0: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--ignore-errors=1"}, "--ignore-errors takes no value"},
      {{"program", "a.ruf", "--trace", "a", "--trace", "b"}, "--trace is given twice"},
      {{"check", "a.ruf", "--serial", "COM1"}, "check takes no options (--serial)"},
  };
  for (const auto& [arguments, error] : cases) {
    EXPECT_EQ(Parse(arguments).error, error) << ::testing::PrintToString(arguments);
  }
}

TEST(CliOptions, UsageNamesEveryCommandAndOption) {
  const std::string usage = CliUsage();
  for (const char* word : {"program RUF-FILE", "verify  RUF-FILE", "test    RUF-FILE",
                           "check   RUF-FILE", "--serial DEVICE", "--udp HOST[:PORT]",
                           "--passcode N", "--ignore-errors", "--personality K", "--trace FILE"}) {
    EXPECT_NE(usage.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace flash
