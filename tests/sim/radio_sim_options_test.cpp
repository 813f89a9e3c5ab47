#include "sim/radio_sim_options.h"

#include <gtest/gtest.h>

namespace flash::sim {
namespace {

ParsedRadioSimOptions Parse(std::vector<std::string> arguments) {
  return ParseRadioSimOptions(arguments);
}

TEST(RadioSimOptions, DefaultsToASerialModel712Radio) {
  const ParsedRadioSimOptions parsed = Parse({});
  EXPECT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.link, RadioSimOptions::Link::Serial);
  EXPECT_EQ(parsed.options.radio.model, 712);
  EXPECT_EQ(parsed.options.radio.dspNumber, 1234);
  EXPECT_FALSE(parsed.options.passcode.has_value());
}

TEST(RadioSimOptions, ReadsEveryRadioAndFaultOption) {
  const ParsedRadioSimOptions parsed =
      Parse({"--model", "797", "--dsp=50", "--extended", "--report-model", "999", "--image-in",
             "in.hex", "--image-out=out.hex", "--delay-ms", "25", "--wire-paced", "--silent-from",
             "9", "--wrong-echo", "2", "--wrong-echo-from", "5", "--garbage-every", "4",
             "--no-echo-first-try", "--xon-xoff=3", "--verbose"});
  ASSERT_EQ(parsed.error, "");
  const RadioSimOptions& o = parsed.options;
  EXPECT_EQ(o.radio.model, 797);
  EXPECT_EQ(o.radio.dspNumber, 50);
  EXPECT_TRUE(o.radio.extendedMemory);
  EXPECT_EQ(o.radio.reportModelCode, 999);
  EXPECT_EQ(o.imageIn, "in.hex");
  EXPECT_EQ(o.imageOut, "out.hex");
  EXPECT_EQ(o.radio.faults.answerDelay, std::chrono::milliseconds{25});
  EXPECT_TRUE(o.wirePaced);
  EXPECT_EQ(o.radio.faults.silentFromRequest, 9);
  EXPECT_EQ(o.radio.faults.wrongEchoFirst, 2);
  EXPECT_EQ(o.radio.faults.wrongEchoFromRequest, 5);
  EXPECT_EQ(o.radio.faults.garbageEvery, 4);
  EXPECT_TRUE(o.radio.faults.noEchoOnFirstTry);
  EXPECT_EQ(o.radio.faults.xonXoffEvery, 3);
  EXPECT_TRUE(o.verbose);
}

TEST(RadioSimOptions, UdpTakesAnOptionalEndpointAndAPasscode) {
  EXPECT_EQ(Parse({"--udp"}).options.udpAddress, "127.0.0.2");
  EXPECT_EQ(Parse({"--udp"}).options.udpPort, 49152);
  const ParsedRadioSimOptions parsed = Parse({"--udp", "127.0.0.5:5000", "--passcode", "7"});
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.options.link, RadioSimOptions::Link::Udp);
  EXPECT_EQ(parsed.options.udpAddress, "127.0.0.5");
  EXPECT_EQ(parsed.options.udpPort, 5000);
  EXPECT_EQ(parsed.options.passcode, 7);
  EXPECT_EQ(Parse({"--udp", "--verbose"}).options.udpPort, 49152);
  EXPECT_TRUE(Parse({"--udp", "--verbose"}).options.verbose);
}

TEST(RadioSimOptions, RefusesWhatCannotWork) {
  EXPECT_EQ(Parse({"--udp", "127.0.0.2:70000"}).error,
            "--udp: '127.0.0.2:70000' is not ADDR:PORT with a port from 0 to 65535");
  EXPECT_EQ(Parse({"--model"}).error, "--model needs a number");
  EXPECT_EQ(Parse({"--dsp", "10000"}).error,
            "--dsp: '10000' is not a whole number from 0 to 9999");
  EXPECT_EQ(Parse({"--silent-from", "0"}).error,
            "--silent-from: '0' is not a whole number from 1 to 2147483647");
  EXPECT_EQ(Parse({"--bogus"}).error, "unknown option '--bogus'");
  EXPECT_EQ(Parse({"--extended=1"}).error, "--extended takes no value");
  EXPECT_EQ(Parse({"--udp", "--link", "x"}).error,
            "--link names a pseudo-terminal; it cannot go with --udp");
  EXPECT_EQ(Parse({"--passcode", "7"}).error, "--passcode applies to a UDP radio; add --udp");
  EXPECT_EQ(Parse({"--xon-xoff"}).error,
            "--xon-xoff needs --model 797 (or 729): only those models take text lines");
}

TEST(RadioSimOptions, HelpIsTakenWhateverElseIsGiven) {
  const ParsedRadioSimOptions parsed = Parse({"--passcode", "7", "--help"});
  EXPECT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.options.help);
}

}  // namespace
}  // namespace flash::sim
