// A station's records on disk: one whole JSON line each, read back with every field,
// never where the rule of the tools' files forbids; and the file's SHA-256.
#include "cli/station_record.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/file_sha256.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using test::TempDir;

StationRecord FullRecord(const std::string& serial) {
  return {.start = IsoUtcMilliseconds(std::chrono::system_clock::time_point(
              std::chrono::milliseconds{1'700'000'000'123})),
          .end = "2023-11-14T22:13:31.004Z", .station = StationHostName(),
          .link = "usb-FTDI_FT232R_" + serial + "-if00-port0", .device = "/dev/ttyUSB0",
          .adapterMaker = "FTDI", .adapterModel = "FT232R USB UART", .adapterSerial = serial,
          .radioModelCode = 746, .radioModel = "Model QV746", .dspVersion = "1.234",
          .file = "/srv/746.ruf", .fileSha256 = std::string(64, 'a'), .fileDataLines = 131,
          .operations = {{"program", "success", "", 131, 131, 10.5},
                         {"verify", "failed", "the radio's memory differs", 131, 131, 9.25}},
          .outcome = "failed", .reason = "the radio's memory differs", .exitStatus = 1,
          .trace = "/srv/traces/usb-FTDI.txt"};
}

TEST(StationRecord, AppendsWholeLinesThatReadBackWithEveryFieldAndNeverWhereItMustNot) {
  TempDir dir;
  const std::string path = dir.File("flash-records.jsonl");
  const std::string ruf = dir.Write("746.ruf", "abc");
  const std::vector<InputFile> inputs = {{ruf, "the RUF file of this run"}};
  EXPECT_EQ(FullRecord("A1").start, "2023-11-14T22:13:20.123Z");
  ASSERT_EQ(AppendRecord(path, FullRecord("A1"), inputs), "");
  // A record cut short by a full disk before does not swallow the next one.
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 10);
  ASSERT_EQ(AppendRecord(path, FullRecord("B2"), inputs), "");
  const std::string text = TempDir::Read(path);
  const std::size_t cut = text.find('\n');
  ASSERT_NE(cut, std::string::npos);
  std::string why;
  EXPECT_FALSE(ParseRecordLine(text.substr(0, cut), why));
  EXPECT_EQ(why, "not a JSON object");
  const std::optional<StationRecord> back = ParseRecordLine(text.substr(cut + 1), why);
  ASSERT_TRUE(back) << why;
  EXPECT_EQ(RecordJsonLine(*back), RecordJsonLine(FullRecord("B2")));
  EXPECT_EQ(text.substr(cut + 1), RecordJsonLine(FullRecord("B2")));
  EXPECT_FALSE(ParseRecordLine(R"({"start": "x", "end": 3})", why));
  EXPECT_EQ(why, "no end");

  // Never the RUF file, nor through a symbolic link, nor a device; a failure says why.
  std::filesystem::create_symlink(path, dir.File("link.jsonl"));
  for (const std::string& refused : {ruf, dir.File("link.jsonl"), std::string("/dev/null"),
                                     dir.path(), dir.File("none/r.jsonl")}) {
    const std::string told = AppendRecord(refused, FullRecord("C3"), inputs);
    EXPECT_NE(told.find(refused + ": "), std::string::npos) << refused << " " << told;
  }
  EXPECT_EQ(TempDir::Read(ruf), "abc");
  EXPECT_EQ(TempDir::Read(path), text);

  EXPECT_EQ(Sha256Hex(TempDir::Read(ruf)),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

}  // namespace
}  // namespace flash
