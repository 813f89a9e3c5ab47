#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace flash {
namespace {

ParsedCliOptions Parse(std::vector<std::string> arguments) { return ParseCliOptions(arguments); }

// The refusals are checked on the program itself (exit status 64 and the reason).
TEST(CliOptions, AcceptsEveryFormTheContractAllows) {
  ParsedCliOptions p = Parse({"verify", "--serial=/dev/ttyUSB0", "a.ruf", "--ignore-errors",
                              "--trace", "t.txt"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Verify);
  EXPECT_EQ(p.options.serialDevice, "/dev/ttyUSB0");
  EXPECT_EQ(p.options.rufFile, "a.ruf");
  EXPECT_TRUE(p.options.ignoreErrors);
  EXPECT_EQ(p.options.tracePath, "t.txt");

  p = Parse({"test", "x.ruf", "--udp", "radio.local", "--passcode", "4242", "--personality", "CANCEL"});
  ASSERT_EQ(p.error, "");
  EXPECT_EQ(p.options.command, CliCommand::Test);
  EXPECT_EQ(p.options.udpHost, "radio.local");
  EXPECT_EQ(p.options.udpPort, 49152);
  EXPECT_EQ(p.options.passcode, 4242);
  EXPECT_EQ(p.options.personality, kPersonalityCancel);
  EXPECT_EQ(Parse({"program", "x.ruf", "--udp", "127.0.0.2:50000"}).options.udpPort, 50000);

  p = Parse({"check", "--", "--odd.ruf"});
  EXPECT_EQ(p.options.command, CliCommand::Check);
  EXPECT_EQ(p.options.rufFile, "--odd.ruf");
  EXPECT_EQ(Parse({"program", "--help"}).options.command, CliCommand::Help);
}

}  // namespace
}  // namespace flash
