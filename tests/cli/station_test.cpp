// The station against simulated radios plugged into and pulled out of a folder.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/file_sha256.h"
#include "tests/cli/tool_output_checks.h"
#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::Contains;
using test::kDemoFile;
using test::RadioSim;
using test::TempDir;

// A station's whole life is seconds; a silence would take 40.
constexpr auto kSaid = 20s;

struct Station {
  Station(const TempDir& dir, const std::vector<std::string>& more, const std::string& prefix = "")
      : process([&] {
          test::ChildOptions options;
          options.argv = {"/bin/sh", "-c", prefix + "exec \"$0\" \"$@\"", FLASH_UPDATE_CLI_PATH,
                          "station", kDemoFile, "--watch", "watch", "--records", "r.jsonl",
                          "--trace-dir", "traces"};
          options.argv.insert(options.argv.end(), more.begin(), more.end());
          options.workingDirectory = dir.path();
          return options;
        }()) {
    Said("Station: ");
  }
  // Waits until standard output or error has said it (this many times).
  bool Said(const std::string& what, int times = 1) {
    return process.WaitForOutput(
        [&](const std::string& out) { return test::CountOf(out + process.err(), what) >= times; },
        kSaid);
  }
  test::ChildProcess process;
};

RadioSim Plug(const TempDir& dir, const std::string& name, std::vector<std::string> more = {}) {
  more.insert(more.end(), {"--link", "watch/" + name});
  if (std::ranges::find(more, "--model") == more.end()) more.insert(more.end(), {"--model", "746"});
  return RadioSim(RADIO_SIM_PATH, more, dir.path());
}

std::vector<nlohmann::json> Records(const TempDir& dir) {
  std::vector<nlohmann::json> records;
  std::istringstream lines(TempDir::Read(dir.File("r.jsonl")));
  for (std::string line; std::getline(lines, line);) records.push_back(nlohmann::json::parse(line));
  return records;
}

TEST(Station, FlashesEachRadioOncePerAppearanceRecordsEachAndLetsRunningRadiosFinishOnAStop) {
  TempDir dir;
  ::mkdir(dir.File("watch").c_str(), 0755);
  RadioSim there = Plug(dir, "there", {"--expect", kDemoFile});
  Station station(dir, {"--verify"});
  EXPECT_TRUE(station.Said("left alone")) << station.process.out();
  for (int time = 1; time <= 2; ++time) {  // unplugged and plugged in again: flashed again
    RadioSim radio = Plug(dir, "good", {"--expect", kDemoFile});
    ASSERT_TRUE(station.Said("good: success", time)) << station.process.out();
    EXPECT_EQ(radio.Stop(), 0);
    EXPECT_TRUE(Contains(radio.out(), "memory equals")) << radio.out() << radio.err();
  }
  {
    RadioSim other = Plug(dir, "other", {"--model", "781"});
    EXPECT_TRUE(station.Said("other: refused: The file is for model 746"));
  }
  {
    // The 40th record frame: the 41st data line of the file, after its segment record.
    RadioSim pulled = Plug(dir, "pulled", {"--pull-at", "40"});
    EXPECT_TRUE(station.Said("pulled: no-answer: The radio's port " + dir.File("watch/pulled") +
                             " went away (cable pulled?) at line 41 of 131"))
        << station.process.err();
  }
  // A stop: the radio that runs finishes, and one plugged in afterwards is not started.
  RadioSim slow = Plug(dir, "slow", {"--wire-paced"});
  ASSERT_TRUE(station.Said("slow: started"));
  station.process.Signal(SIGINT);
  ASSERT_TRUE(station.Said("no new radio is started"));
  RadioSim late = Plug(dir, "late");
  EXPECT_EQ(station.process.Wait(kSaid), 0) << station.process.err();
  EXPECT_TRUE(Contains(station.process.out(), "slow: success"));
  EXPECT_FALSE(Contains(station.process.out() + station.process.err(), "late:"));
  EXPECT_FALSE(Contains(station.process.out(), "there:")) << "present at the start: left alone";

  const std::vector<nlohmann::json> records = Records(dir);
  std::vector<std::string> seen;
  for (const nlohmann::json& r : records) {
    seen.push_back(r.at("link").get<std::string>().substr(dir.File("watch/").size()) + " " +
                   r.at("outcome").get<std::string>() + " " +
                   std::to_string(r.at("exitStatus").get<int>()));
    for (const char* field : {"start", "end", "station", "device", "adapter", "radio", "file",
                              "operations", "reason", "trace"}) {
      EXPECT_TRUE(r.contains(field)) << field << " " << r;
    }
    EXPECT_EQ(r.at("file").at("dataLines"), 131);
    EXPECT_EQ(r.at("file").at("sha256"), Sha256Hex(TempDir::Read(kDemoFile)));
    EXPECT_EQ(r.at("operations").size(), 2u) << "a Program and its Verify";
  }
  EXPECT_EQ(seen, std::vector<std::string>({"good success 0", "good success 0", "other refused 3",
                                            "pulled no-answer 2", "slow success 0"}));
  EXPECT_EQ(records[0].at("radio").at("modelCode"), 746);
  EXPECT_EQ(records[3].at("operations")[0].at("linesSent"), 41);
  EXPECT_EQ(records[3].at("operations")[1].at("outcome"), "not-run");
}

// No radio is flashed without its record: a record the disk refuses stops the station.
TEST(Station, ARecordThatCannotBeWrittenStopsTheStationBeforeTheNextRadio) {
  TempDir dir;
  ::mkdir(dir.File("watch").c_str(), 0755);
  Station station(dir, {}, "trap '' XFSZ; ulimit -f 0; ");
  RadioSim first = Plug(dir, "first");
  EXPECT_TRUE(station.Said("the record of first was not written: "));
  EXPECT_EQ(station.process.Wait(kSaid), 73) << station.process.err();
  RadioSim second = Plug(dir, "second");
  EXPECT_FALSE(Contains(station.process.out() + station.process.err(), "second"));
  EXPECT_EQ(TempDir::Read(dir.File("r.jsonl")), "");
}

}  // namespace
}  // namespace flash
