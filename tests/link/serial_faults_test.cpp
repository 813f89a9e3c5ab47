// Faults on a real serial port (a pseudo-terminal whose master the test plays as the
// radio) during an operation of the update engine, whose timers run on a virtual clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/comms_trace.h"
#include "engine/update_engine.h"
#include "link/serial_port.h"
#include "tests/link/port_events.h"
#include "tests/link/pty_pair.h"
#include "tests/support/fake_host.h"
#include "tests/support/fake_links.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;

constexpr auto kArrivalLimit = 2s;  // bounds a failure; a passing test never waits this long
constexpr auto kQuietPeriod = 100ms;  // how long to watch for events that must not come
constexpr auto kPieceGap = 30ms;      // between the pieces of one answer

// An Intel HEX data record of count bytes of value at address: no byte of its frame is
// a CR, so the radio's side can take a request as the bytes up to the first CR.
std::string DataRecord(int address, int count, int value) {
  int sum = count + (address >> 8) + (address & 0xFF);
  char text[80];
  int at = std::snprintf(text, sizeof text, ":%02X%04X00", count, address);
  for (int i = 0; i < count; ++i) {
    at += std::snprintf(text + at, sizeof text - at, "%02X", value);
    sum += value;
  }
  const int checksum = (0x100 - (sum & 0xFF)) & 0xFF;
  EXPECT_NE(checksum, 0x0D);
  std::snprintf(text + at, sizeof text - at, "%02X\r\n", checksum);
  return text;
}

std::string EchoOf(const std::string& frame) {
  char text[8];
  std::snprintf(text, sizeof text, ":%02X\r", static_cast<unsigned char>(frame[frame.size() - 2]));
  return text;
}

class EngineOnAPseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    host_.Attach(&engine_);
    trace_.SetPath(dir_.File("comms.txt"));
    settings_.comPort = pty_.slaveName();
    std::string file;
    for (int line = 0; line < kLines; ++line) file += DataRecord(0x100 + 16 * line, 16, 0x21 + line);
    host_.chosenFile = dir_.Write("746.ruf", file);
  }

  // What the port sent: the bytes up to the first CR.
  std::string RadioTakesRequest() {
    const std::vector<std::uint8_t> request = pty_.RadioReceivesThrough('\r', kArrivalLimit);
    return std::string(request.begin(), request.end());
  }

  // Moves the input and hands its next events to the engine as a front end's
  // loop does; false when none came.
  bool DeliverEvents(std::chrono::milliseconds limit = kArrivalLimit) {
    const SerialPort::Input input = NextEvents(port_, limit);
    if (input.events == 0) return false;
    engine_.OnSerialEvent(input.events, input.errors);
    return true;
  }

  // The radio answers the identification and the start command.
  void Identify() {
    engine_.RunProgramCommand();
    ASSERT_EQ(RadioTakesRequest(), "?V\r");
    pty_.RadioSends("VER 1234 746\r");
    ASSERT_TRUE(DeliverEvents());
    ASSERT_EQ(RadioTakesRequest(), "ZZ\r");
    pty_.RadioSends("READY\r");
    ASSERT_TRUE(DeliverEvents());
  }

  std::string Trace() { return test::TempDir::Read(dir_.File("comms.txt")); }

  static constexpr int kLines = 6;
  test::TempDir dir_;
  PtyPair pty_;
  SerialPort port_;
  test::FakeHost host_;
  LinkSettings settings_;
  test::FakeUdpLink udp_;
  CommsTrace trace_{host_};
  UpdateEngine engine_{host_, settings_, port_, udp_, trace_};
};

TEST_F(EngineOnAPseudoTerminal, AnAnswerArrivingInPiecesGivesOneEventAndIsParsedWhole) {
  engine_.RunProgramCommand();
  ASSERT_EQ(RadioTakesRequest(), "?V\r");
  for (const char* piece : {"VER 1", "234", " 7", "46", "\r"}) {
    pty_.RadioSends(piece);
    std::this_thread::sleep_for(kPieceGap);
  }
  ASSERT_TRUE(DeliverEvents());
  EXPECT_FALSE(DeliverEvents(kQuietPeriod)) << "one event for one answer";

  EXPECT_EQ(host_.status[1], "Model QV746");
  EXPECT_EQ(RadioTakesRequest(), "ZZ\r");
  EXPECT_NE(Trace().find(" R> 56 45 52 20 31 32 33 34 20 37 34 36 0D \r\r\n"), std::string::npos)
      << Trace();
}

TEST_F(EngineOnAPseudoTerminal, AnEchoSplitBeforeItsCrIsCheckedOnceAndTheNextLineFollows) {
  Identify();
  const std::string first = RadioTakesRequest();
  ASSERT_EQ(first.size(), 16u + 7u);
  const std::string echo = EchoOf(first);
  pty_.RadioSends(echo.substr(0, 1));
  std::this_thread::sleep_for(kPieceGap);
  pty_.RadioSends(echo.substr(1, 2));
  std::this_thread::sleep_for(kPieceGap);
  pty_.RadioSends("\r");
  ASSERT_TRUE(DeliverEvents());
  EXPECT_FALSE(DeliverEvents(kQuietPeriod));
  const std::string second = RadioTakesRequest();
  EXPECT_EQ(second.size(), 16u + 7u);
  EXPECT_NE(second, first) << "the next line, not a resend";
}

TEST_F(EngineOnAPseudoTerminal, ADeviceThatVanishesMidProgramEndsWith113AndACompleteTrace) {
  Identify();
  for (int line = 0; line < 3; ++line) {
    pty_.RadioSends(EchoOf(RadioTakesRequest()));
    ASSERT_TRUE(DeliverEvents());
  }
  const std::string lost = RadioTakesRequest();
  ASSERT_EQ(lost.size(), 16u + 7u);

  // The adapter is pulled: the radio's side of the line is gone.
  pty_.CloseMaster();
  EXPECT_TRUE(NextEvents(port_, kArrivalLimit).deviceGone);
  EXPECT_TRUE(engine_.operationRunning());

  // Eight silences of 5 s on the virtual clock; the resends go to a dead device.
  const auto start = std::chrono::steady_clock::now();
  for (int guard = 0; guard < 20 && engine_.operationRunning(); ++guard) host_.FireNextTimer();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "no write waits on the dead device";

  EXPECT_FALSE(engine_.operationRunning());
  EXPECT_EQ(host_.dialogs, (std::vector<DialogId>{DialogId::CommFailure}));
  EXPECT_EQ(host_.outcomes, (std::vector<OperationOutcome>{OperationOutcome::CommunicationFailed}));
  EXPECT_EQ(host_.nowMs, 8 * 5000);
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_FALSE(trace_.IsOpen());

  // The trace is on disk whole: the lost line sent eight times, the last line complete.
  const std::string trace = Trace();
  std::string hex;
  for (unsigned char c : lost) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x ", c);
    hex += byte;
  }
  std::size_t sendings = 0;
  for (std::size_t at = trace.find(" R< " + hex + "\r\n"); at != std::string::npos;
       at = trace.find(" R< " + hex + "\r\n", at + 1)) {
    ++sendings;
  }
  EXPECT_EQ(sendings, 8u) << trace;
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace.substr(trace.size() - 2), "\r\n");
  const std::size_t lastLine = trace.rfind("\r\n", trace.size() - 3) + 2;
  EXPECT_EQ(trace.substr(lastLine), trace.substr(lastLine, 13) + " R< " + hex + "\r\n");
}

}  // namespace
}  // namespace flash
