// The counting pass over RUF files of growing size: its time and the peak memory
// of a process that does nothing else. An operation keeps one copy of the file it
// checked (what is sent is what was checked), so the peak grows by the file's size
// and by nothing more.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "bench/ruf_file_maker.h"
#include "bench/scratch_folder.h"
#include "engine/ruf_survey.h"
#include "tests/support/child_process.h"

namespace flash::bench {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kBytesPerLine = 16;

// The child's part: one counting pass, its line count and its time on standard output.
int SurveyOne(const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  const RufSurvey survey = SurveyRufFile(path);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!survey.opened) return 1;
  std::printf("survey %d %.6f\n", survey.dataLines, seconds);
  return 0;
}

struct SurveyFigures {
  int dataLines = -1;
  double seconds = 0;
  long peakKiB = 0;
};

SurveyFigures SurveyInChild(const std::string& self, const std::string& path) {
  SurveyFigures figures;
  test::ChildOptions options;
  options.argv = {self, "--one", path};
  test::ChildProcess child(options);
  const std::string line = child.WaitForLine("survey ", 120s);
  if (child.Wait(120s) != 0 || line.empty()) return figures;
  std::sscanf(line.c_str(), "survey %d %lf", &figures.dataLines, &figures.seconds);
  figures.peakKiB = child.peakMemoryKiB();
  return figures;
}

int Run(const std::string& self) {
  const ScratchFolder scratch("survey");
  if (!scratch.ok()) return 1;
  const std::filesystem::path& work = scratch.path();
  int status = 0;
  const std::string empty = (work / "746-empty.ruf").string();
  WriteRecordFile(empty, 0);
  const SurveyFigures baseline = SurveyInChild(self, empty);
  PrintRow("counting pass: the process alone (empty file)", Text("%ld KiB peak", baseline.peakKiB),
           "peak resident memory of the child (getrusage)");
  long smallestPeak = 0;
  // 4 MiB is the size of the largest images (about 262,000 lines).
  for (const std::size_t mebibytes : {1, 4, 16}) {
    const std::size_t lines = mebibytes * 1024 * 1024 / kBytesPerLine;
    const std::string path = (work / ("746-" + std::to_string(mebibytes) + "MiB.ruf")).string();
    if (!WriteRecordFile(path, lines)) {
      std::fprintf(stderr, "bench: cannot write %s\n", path.c_str());
      status = 1;
      break;
    }
    const auto fileBytes = std::filesystem::file_size(path);
    const SurveyFigures figures = SurveyInChild(self, path);
    std::filesystem::remove(path);
    if (figures.dataLines < 0) {
      std::fprintf(stderr, "bench: the counting pass over %s failed\n", path.c_str());
      status = 1;
      break;
    }
    if (smallestPeak == 0) smallestPeak = figures.peakKiB;
    PrintRow(Text("counting pass: %zu MiB image, %d lines (%.0f MB file)", mebibytes,
                  figures.dataLines, static_cast<double>(fileBytes) / 1e6),
             Text("%.3f s, %ld KiB peak", figures.seconds, figures.peakKiB),
             Text("%.2f us/line; peak %+ld KiB against the 1 MiB image", figures.seconds * 1e6 / figures.dataLines,
                  figures.peakKiB - smallestPeak));
  }
  return status;
}

}  // namespace
}  // namespace flash::bench

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--one") return flash::bench::SurveyOne(argv[2]);
  // /proc/self/exe: the child is this same program, wherever it was started from.
  std::error_code error;
  const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
  return flash::bench::Run(error ? std::string(argv[0]) : self);
}
