// The headless tool's host and links in this process against the radio-sim program,
// with faults: the radio vanishing mid-Program, garbage answers, strangers flooding the
// tool's UDP port. The timers are the tool's own, but a silence is cut short: when
// nothing arrives for a moment, the next timer expires at once, so eight 5-second
// silences take a second or two.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "cli/cli_host.h"
#include "cli/console_output.h"
#include "cli/exit_status.h"
#include "cli/timer_set.h"
#include "link/comms_trace.h"
#include "link/radio_socket.h"
#include "link/serial_port.h"
#include "link/stop_signals.h"
#include "link/system_clock.h"
#include "engine/dialog_texts.h"
#include "engine/update_engine.h"
#include "sim/memory_image.h"
#include "sim/ruf_writer.h"
#include "tests/cli/tool_output_checks.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/udp_peer.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::CountOf;
using test::LoadImage;
using test::RadioSim;
using test::TempDir;

// Longer than radio-sim takes to answer; after it, the radio is taken to be silent.
constexpr auto kQuiet = 200ms;
constexpr int kGuard = 5000;  // events and expiries: bounds a test that goes wrong
constexpr char kRadioAddress[] = "127.0.0.2";

sim::MemoryImage TestImage(std::size_t size) {
  sim::MemoryImage image;
  for (std::size_t i = 0; i < size; ++i) {
    image.Write(0x400 + static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(i * 7 + 3));
  }
  return image;
}

// One operation of the tool, put together the way flash-update-cli does it, its
// standard output and standard error in a file.
class ToolOperation {
 public:
  ToolOperation(const TempDir& dir, const LinkSettings& settings, const std::string& rufFile)
      : dir_(dir),
        outFd_(::open(dir.File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)),
        console_(outFd_, outFd_, false),
        settings_(settings),
        host_(console_, clock_, timers_, stops_, rufFile, std::nullopt) {
    trace_.SetPath(dir.File("comms.txt"));
  }
  ~ToolOperation() { ::close(outFd_); }

  // Runs a Program to its end and answers the tool's exit status. afterEvent runs
  // after every answer handled.
  int Program(const std::function<void(UpdateEngine&)>& afterEvent = {}) {
    engine_.RunProgramCommand();
    bool watchDevice = true;  // as the tool's loop: a device that is gone is no longer polled
    for (int guard = 0; guard < kGuard && !host_.ended() && engine_.operationRunning(); ++guard) {
      pollfd watched[2] = {{watchDevice ? port_.InputFd() : -1, POLLIN, 0},
                           {socket_.fd(), POLLIN, 0}};
      if (::poll(watched, 2, static_cast<int>(kQuiet.count())) > 0) {
        bool handled = false;
        if (watched[0].revents != 0) {
          const SerialPort::Input input = port_.ServiceInput();
          if (input.deviceGone) watchDevice = false;
          handled = input.events != 0 && !host_.ended();
          if (handled) engine_.OnSerialEvent(input.events, input.errors);
        }
        if (watched[1].revents != 0 && !host_.ended()) {
          engine_.OnUdpReadable();
          handled = true;
        }
        if (handled && afterEvent) afterEvent(engine_);
        continue;
      }
      const std::optional<TimerSet::TimePoint> next = timers_.NextDeadline();
      if (!next) break;
      ++silences_;
      for (int id : timers_.TakeDue(*next)) {
        if (!host_.ended() && timers_.IsRunning(id)) engine_.OnTimer(id);
      }
    }
    console_.Finish();
    EXPECT_TRUE(host_.ended());
    return ExitStatusFor(host_.outcome());
  }

  std::string Output() const { return TempDir::Read(dir_.File("stdout.txt")); }
  std::string Trace() const { return TempDir::Read(dir_.File("comms.txt")); }
  int silences() const { return silences_; }
  SerialPort& port() { return port_; }
  CommsTrace& trace() { return trace_; }

 private:
  const TempDir& dir_;
  int outFd_;
  ConsoleOutput console_;
  LinkSettings settings_;
  SystemClock clock_;
  CommsTrace trace_{clock_};
  TimerSet timers_;
  SerialPort port_;
  RadioSocket socket_;
  StopSignals stops_;
  CliHost host_;
  UpdateEngine engine_{host_, settings_, port_, socket_, trace_};
  int silences_ = 0;
};

LinkSettings SerialLink(const std::string& device) {
  LinkSettings settings;
  settings.serialActive = true;
  settings.ethernetActive = false;
  settings.comPort = device;
  return settings;
}

LinkSettings UdpLink(int port) {
  LinkSettings settings;
  settings.serialActive = false;
  settings.ethernetActive = true;
  settings.radioAddress = kRadioAddress;
  settings.radioPort = port;
  settings.radioPasscode = 7;
  return settings;
}

TEST(ToolAgainstAFaultyRadio, ARadioKilledMidProgramEndsWithExitStatus2AndACompleteTrace) {
  TempDir dir;
  const std::string ruf = dir.File("746-image.ruf");
  ASSERT_TRUE(sim::WriteRufFile(ruf, TestImage(64 * 16)));
  std::optional<RadioSim> radio;
  radio.emplace(RADIO_SIM_PATH, std::vector<std::string>{"--model", "746"});
  ASSERT_FALSE(radio->endpoint().empty()) << radio->err();
  ToolOperation tool(dir, SerialLink(radio->endpoint()), ruf);
  int killedAtLine = 0;
  int answers = 0;
  const int status = tool.Program([&](UpdateEngine&) {
    // Answers: the identification, READY, then one echo a line.
    if (radio && ++answers == 12) {
      killedAtLine = answers - 2;
      EXPECT_EQ(radio->Stop(SIGKILL), 128 + SIGKILL);
      radio.reset();
    }
  });

  EXPECT_EQ(killedAtLine, 10);
  EXPECT_EQ(status, kExitCommunicationFailed);
  EXPECT_EQ(tool.silences(), 8);
  EXPECT_FALSE(tool.port().IsOpen());
  EXPECT_FALSE(tool.trace().IsOpen());
  const std::string out = tool.Output();
  EXPECT_EQ(CountOf(out, std::string(DialogTextOf(DialogId::CommFailure))), 1) << out;
  const std::string trace = tool.Trace();
  ASSERT_TRUE(trace.starts_with("Log File Begin\r\n")) << trace.substr(0, 100);
  EXPECT_TRUE(trace.ends_with(" 0d \r\n")) << "the last line is a whole request";
}

TEST(ToolAgainstAFaultyRadio, GarbageAnswersOnTheSerialLinkAreOutwaitedAndTheImageArrives) {
  TempDir dir;
  const sim::MemoryImage image = TestImage(24 * 16);
  const std::string ruf = dir.File("746-image.ruf");
  ASSERT_TRUE(sim::WriteRufFile(ruf, image));
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--garbage-every", "5", "--image-out",
                                  dir.File("memory.hex")});
  ASSERT_FALSE(radio.endpoint().empty()) << radio.err();

  ToolOperation tool(dir, SerialLink(radio.endpoint()), ruf);
  EXPECT_EQ(tool.Program(), kExitSuccess) << tool.Output();
  ASSERT_EQ(radio.Stop(), 0);
  EXPECT_TRUE(LoadImage(dir.File("memory.hex")) == image);
  EXPECT_GE(tool.silences(), 5) << "each garbage answer is followed by a resend";
  EXPECT_GE(CountOf(tool.Trace(), " R> 7E 3F 7E 0D \r"), 5);
  EXPECT_TRUE(tool.Output().ends_with("\n" + std::string(DialogTextOf(DialogId::ProgramSuccess)) + "\n"))
      << tool.Output();
}

// Sends datagrams to the tool's port from another address until stopped (bounded).
class Stranger {
 public:
  Stranger(int port, std::vector<std::string> datagrams) {
    thread_ = std::thread([this, port, datagrams = std::move(datagrams)] {
      const test::UdpPeer stranger("127.0.0.3");
      const sockaddr_in to = test::UdpPeer::Address("127.0.0.1", port);
      const auto end = std::chrono::steady_clock::now() + 30s;
      for (int i = 0; i < kMaxDatagrams && !stop_ && std::chrono::steady_clock::now() < end; ++i) {
        if (stranger.SendTo(to, datagrams[static_cast<std::size_t>(i) % datagrams.size()])) ++sent_;
        if (i % 64 == 63) std::this_thread::sleep_for(1ms);
      }
    });
  }
  ~Stranger() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int sent() const { return sent_; }

 private:
  static constexpr int kMaxDatagrams = 2'000'000;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

TEST(ToolAgainstAFaultyRadio, OverUdpGarbageAndAFloodFromAStrangerStillProgramTheImage) {
  TempDir dir;
  const sim::MemoryImage image = TestImage(24 * 16);
  const std::string ruf = dir.File("746-image.ruf");
  ASSERT_TRUE(sim::WriteRufFile(ruf, image));
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--udp", std::string(kRadioAddress) + ":0",
                                  "--passcode", "7", "--garbage-every", "5", "--image-out",
                                  dir.File("memory.hex")});
  ASSERT_GT(radio.udpPort(), 0) << radio.err();

  ToolOperation tool(dir, UdpLink(radio.udpPort()), ruf);
  // Answers that would end or derail the operation if the tool took them.
  Stranger flood(radio.udpPort(), {"READY\r", ":00\r", "VER 1234 712\r", "~?~\r",
                                   std::string(4096, 'Z')});
  const int status = tool.Program();
  flood.Stop();
  EXPECT_EQ(status, kExitSuccess) << tool.Output();
  EXPECT_GT(flood.sent(), 1000);
  ASSERT_EQ(radio.Stop(), 0);
  EXPECT_TRUE(LoadImage(dir.File("memory.hex")) == image);
  const std::string trace = tool.Trace();
  EXPECT_EQ(CountOf(trace, " R> 5A 5A 5A"), 0) << "nothing of the stranger's was taken";
  EXPECT_EQ(CountOf(trace, " R> 56 45 52 20 31 32 33 34 20 37 31 32"), 0);
  EXPECT_GE(CountOf(trace, " R> 7E 3F 7E 0D \r"), 5);
}

}  // namespace
}  // namespace flash
