// Files as common toolchains make them (GNU objcopy and srec_cat, in their Intel HEX
// and S-record flavours, LF and CR LF line ends), flashed by flash-update-cli into the
// radio-sim program. Each file must either end up in the radio exactly, byte for byte
// at its addresses, or be refused before the link opens; a success that leaves other
// memory in the radio is the fault these tests are here for. srec_cat, which knows
// nothing of this project, reads both the file and the radio's memory image.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/radio_sim_process.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using namespace std::chrono_literals;
using test::ChildOptions;
using test::ChildProcess;
using test::RadioSim;
using test::TempDir;

constexpr auto kRunTimeout = 90s;  // the longest run (1 MiB) takes a few seconds

// How a toolchain turns a binary image into records.
struct Format {
  bool srecCat;                      // srec_cat, else objcopy
  bool sRecords;                     // Motorola S-records, else Intel HEX
  std::vector<std::string> options;  // the converter's output options
};

// objcopy picks S1, S2 or S3 records by the highest address.
const Format kObjcopyIntel{false, false, {"-O", "ihex"}};
const Format kObjcopySrec{false, true, {"-O", "srec"}};
const Format kObjcopyS3{false, true, {"-O", "srec", "--srec-forceS3"}};
// 112 data bytes a line instead of 16: a seventh of the lines, each still within the
// 254 characters a line is read in.
const Format kObjcopyS3Long{false, true, {"-O", "srec", "--srec-forceS3", "--srec-len=112"}};
// srec_cat's Intel HEX with type 04 records, type 02 records, and 16-bit addresses only;
// its S-records end with an S5 count record and no termination record.
const Format kSrecCatIntel{true, false, {"-intel"}};
const Format kSrecCatSegments{true, false, {"-intel", "-address-length=3"}};
const Format kSrecCatIntel16{true, false, {"-intel", "-address-length=2"}};
const Format kSrecCatS19{true, true, {"-motorola", "-address-length=2"}};
const Format kSrecCatS28{true, true, {"-motorola", "-address-length=3"}};
const Format kSrecCatS37{true, true, {"-motorola", "-address-length=4"}};

struct Image {
  const Format* format;
  std::size_t size;
  std::uint32_t address;
};

enum class Expected { kFlashed, kRefused };

struct Case {
  std::string name;
  std::vector<Image> images;  // converted one by one and joined, each with its end record
  Expected expected;
  bool crlf = true;
  bool modelHeader = false;
  std::function<std::string(std::string)> edit = {};  // applied to the joined records
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Runs a converter; its standard output, or empty after a failure (reported unless
// srec_cat only found no data in what it read).
std::string Convert(std::vector<std::string> argv) {
  argv[0] = "/usr/bin/" + argv[0];
  if (::access(argv[0].c_str(), X_OK) != 0) {
    ADD_FAILURE() << argv[0] << " is missing: scripts/install-deps --test installs it";
    return {};
  }
  ChildOptions options;
  options.argv = argv;
  ChildProcess converter(options);
  const int status = converter.Wait(30s);
  if (status == 0) return converter.out();
  EXPECT_TRUE(Has(converter.err(), "file contains no data"))
      << ::testing::PrintToString(argv) << " exited with " << status << ":\n" << converter.err();
  return {};
}

// A deterministic pseudo-random image of the given size, converted; answers the file.
std::string MakeRecords(const TempDir& dir, const Image& image, const std::string& stem) {
  std::mt19937 random(static_cast<std::uint32_t>(image.size * 31 + image.address));
  std::string bytes(image.size, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  const std::string binary = dir.Write(stem + ".bin", bytes), records = dir.File(stem + ".records");
  const Format& f = *image.format;
  std::vector<std::string> argv;
  if (f.srecCat) {
    argv = {"srec_cat", binary, "-binary", "-offset", std::to_string(image.address), "-o", records};
  } else {
    argv = {"objcopy", "-I", "binary", "--change-addresses", std::to_string(image.address)};
  }
  argv.insert(argv.end(), f.options.begin(), f.options.end());
  if (!f.srecCat) argv.insert(argv.end(), {binary, records});
  Convert(argv);
  return records;
}

// What srec_cat reads from the record files, in one canonical Intel HEX form: equal
// texts hold the same bytes at the same addresses; empty when they hold no data.
std::string Canonical(const std::vector<std::pair<std::string, bool>>& files) {
  std::vector<std::string> argv = {"srec_cat"};
  for (const auto& [file, sRecords] : files) {
    argv.insert(argv.end(), {file, sRecords ? "-motorola" : "-intel"});
  }
  argv.insert(argv.end(),
              {"-o", "-", "-intel", "-obs=16", "-address-length=4", "-disable=exec-start-address"});
  return Convert(argv);
}

// Empty when equal; else the first line that differs, which names its address.
std::string FirstDifference(const std::string& file, const std::string& radio) {
  if (file == radio) return {};
  std::istringstream a(file), b(radio);
  std::string lineA, lineB;
  for (int n = 1; a || b; ++n) {
    if (!std::getline(a, lineA)) lineA = "nothing";
    if (!std::getline(b, lineB)) lineB = "nothing";
    if (lineA != lineB) {
      return "canonical line " + std::to_string(n) + ": the file has " + lineA + ", the radio " + lineB;
    }
  }
  return "the canonical texts differ only in their line ends";
}

struct Run {
  int status = -1;
  std::string tool;       // the tool's standard output and error
  std::string radio;      // radio-sim's report of every request
  std::string memoryHex;  // its memory at exit, as Intel HEX
};

// flash-update-cli with the arguments against a fresh model 746 on a pseudo-terminal.
Run RunTool(const TempDir& dir, const std::string& stem, std::vector<std::string> arguments) {
  Run run;
  const std::string memory = dir.File(stem + ".memory.hex");
  RadioSim radio(RADIO_SIM_PATH, {"--model", "746", "--verbose", "--image-out", memory}, dir.path());
  if (radio.endpoint().empty()) {
    ADD_FAILURE() << "radio-sim did not start: " << radio.err();
    return run;
  }
  ChildOptions options;
  options.argv = {FLASH_UPDATE_CLI_PATH};
  options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
  options.argv.insert(options.argv.end(),
                      {"--serial", radio.endpoint(), "--trace", dir.File(stem + ".trace.txt"), "-q"});
  options.workingDirectory = dir.path();  // where update.ini and comms.txt would be
  ChildProcess tool(options);
  // The radio's report is read while the tool runs: one that filled its pipe would
  // stall the radio. Request 0 never comes, so each wait just reads for a while.
  const auto end = std::chrono::steady_clock::now() + kRunTimeout;
  for (siginfo_t exited{}; std::chrono::steady_clock::now() < end;) {
    exited.si_pid = 0;
    if (::waitid(P_PID, static_cast<id_t>(tool.pid()), &exited, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        exited.si_pid != 0) {
      break;
    }
    radio.WaitForRequest(0, 5ms);
  }
  run.status = tool.Wait(1s);
  run.tool = tool.out() + tool.err();
  EXPECT_EQ(radio.Stop(), 0) << radio.err().substr(0, 2000);
  run.radio = radio.err();
  run.memoryHex = memory;
  return run;
}

// Writes the case's file, flashes it (and verifies it when a Verify can prove
// something) and checks the outcome.
void FlashOrRefuse(const Case& c) {
  SCOPED_TRACE(c.name);
  TempDir dir;
  std::string records;
  std::vector<std::pair<std::string, bool>> files;
  bool sRecords = false;
  for (std::size_t k = 0; k < c.images.size(); ++k) {
    const std::string file = MakeRecords(dir, c.images[k], "part" + std::to_string(k));
    files.emplace_back(file, c.images[k].format->sRecords);
    sRecords = sRecords || c.images[k].format->sRecords;
    records += TempDir::Read(file);
  }
  if (c.edit) records = c.edit(records);
  std::string text = c.modelHeader ? "#MModel QV746\n" : "";
  for (const char ch : records) {
    if (ch == '\n' && c.crlf) text += '\r';
    if (ch != '\r') text += ch;
  }
  const std::string ruf = dir.Write("746-" + c.name + ".ruf", text);

  std::vector<std::string> program = {"program", ruf};
  if (!sRecords) program.push_back("--verify");  // the frames of S-records carry no Verify mode
  const Run run = RunTool(dir, "program", program);
  EXPECT_EQ(run.status, c.expected == Expected::kFlashed ? 0 : 4) << run.tool;
  if (run.status == 0) {
    const std::string fileData = Canonical(files);
    EXPECT_EQ(FirstDifference(fileData, Canonical({{run.memoryHex, false}})), "")
        << "a success must leave the file's bytes at the file's addresses";
    if (!sRecords && !fileData.empty()) {
      EXPECT_TRUE(Has(run.radio, ": match") && !Has(run.radio, ": differ"))
          << "the Verify ran and found every line equal";
    }
  } else if (run.status == 4) {
    EXPECT_FALSE(Has(run.radio, "radio-sim: #"))
        << "a refused file sends nothing:\n" << run.radio.substr(0, 2000);
    EXPECT_TRUE(Has(run.radio, "wrote 0 bytes of memory")) << run.radio.substr(0, 2000);
  }
  if (sRecords && run.status == 0) {
    const Run verify = RunTool(dir, "verify", {"verify", ruf});
    EXPECT_EQ(verify.status, 4) << "an S-record file cannot be verified: " << verify.tool;
    EXPECT_FALSE(Has(verify.radio, "radio-sim: #")) << verify.radio.substr(0, 2000);
  }
}

// Both line ends; the LF file also opens with a model header line.
std::vector<Case> BothLineEnds(const std::string& name, const Image& image, Expected expected) {
  return {{name + "-crlf", {image}, expected, true, false},
          {name + "-lf-header", {image}, expected, false, true}};
}

constexpr std::size_t kKiB = 1024;

TEST(ToolchainFiles, OneKiBInEveryFormatIsFlashedWhereTheRadioCanPlaceItAndRefusedElsewhere) {
  using E = Expected;
  const struct {
    const char* name;
    Image image;
    Expected expected;
  } formats[] = {
      {"objcopy-ihex-at-0", {&kObjcopyIntel, kKiB, 0}, E::kFlashed},
      {"objcopy-ihex-at-0x10000", {&kObjcopyIntel, kKiB, 0x10000}, E::kFlashed},  // 02 and 03 records
      {"objcopy-S19-at-0x8000", {&kObjcopySrec, kKiB, 0x8000}, E::kRefused},
      {"objcopy-S28-at-0x10000", {&kObjcopySrec, kKiB, 0x10000}, E::kRefused},
      {"objcopy-S37-at-0", {&kObjcopyS3, kKiB, 0}, E::kFlashed},
      {"srec_cat-i32hex-at-0", {&kSrecCatIntel, kKiB, 0}, E::kFlashed},  // a type 04 record of 0
      {"srec_cat-i32hex-at-0x10000", {&kSrecCatIntel, kKiB, 0x10000}, E::kRefused},
      {"srec_cat-i16hex-at-0x8000", {&kSrecCatSegments, kKiB, 0x8000}, E::kFlashed},
      {"srec_cat-i8hex-at-0", {&kSrecCatIntel16, kKiB, 0}, E::kFlashed},
      {"srec_cat-S19-at-0", {&kSrecCatS19, kKiB, 0}, E::kRefused},
      {"srec_cat-S28-at-0x8000", {&kSrecCatS28, kKiB, 0x8000}, E::kRefused},
      {"srec_cat-S37-at-0x10000", {&kSrecCatS37, kKiB, 0x10000}, E::kFlashed},
  };
  for (const auto& f : formats) {
    for (const Case& c : BothLineEnds(f.name, f.image, f.expected)) FlashOrRefuse(c);
  }
}

TEST(ToolchainFiles, LargeImagesAcrossTheSixtyFourKiBBoundaryAndOneMiB) {
  // objcopy's data comes first, its one type 02 record at the 64 KiB crossing: the
  // Verify after the Program must still start in segment 0.
  FlashOrRefuse({"objcopy-ihex-64KiB-at-0x8000", {{&kObjcopyIntel, 64 * kKiB, 0x8000}}, Expected::kFlashed});
  // srec_cat's type 04 record at the crossing names memory beyond the radio's segments.
  FlashOrRefuse(
      {"srec_cat-i32hex-64KiB-at-0x8000", {{&kSrecCatIntel, 64 * kKiB, 0x8000}}, Expected::kRefused, false});
  FlashOrRefuse({"objcopy-S37-1MiB-at-0", {{&kObjcopyS3Long, 1024 * kKiB, 0}}, Expected::kFlashed, false});
}

TEST(ToolchainFiles, JoinedImagesAreFlashedWholeAndDamagedOrEmptyFilesAreRefused) {
  FlashOrRefuse({"objcopy-ihex-joined-0-and-0x10000",
                 {{&kObjcopyIntel, kKiB, 0}, {&kObjcopyIntel, 2 * kKiB, 0x10000}}, Expected::kFlashed});
  const auto dataAfterS9 = [](std::string records) {
    const std::size_t secondData = records.find("\nS3", records.find("\nS3") + 1) + 1;
    return records.insert(secondData, "S9030000FC\r\n");
  };
  FlashOrRefuse({"objcopy-S37-data-after-S9", {{&kObjcopyS3, kKiB, 0x8000}}, Expected::kRefused, true, false,
                 dataAfterS9});
  const auto wrongChecksum = [](std::string records) {
    const std::size_t lineEnd = records.find('\r', records.find("\n:10") + 1);
    records[lineEnd - 1] = records[lineEnd - 1] == '0' ? '1' : '0';
    return records;
  };
  FlashOrRefuse({"objcopy-ihex-wrong-checksum", {{&kObjcopyIntel, kKiB, 0x8000}}, Expected::kRefused, true,
                 false, wrongChecksum});
  FlashOrRefuse({"srec_cat-i32hex-end-record-only", {{&kSrecCatIntel, 0, 0}}, Expected::kRefused});
}

}  // namespace
}  // namespace flash
