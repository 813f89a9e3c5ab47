#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace flash::fuzz {
namespace {

// Every input a fuzzer once found (and every seed) stays a test.
void ReplayCorpus(const std::string& name, int (*target)(const std::uint8_t*, std::size_t)) {
  const std::filesystem::path folder = std::filesystem::path(FLASH_FUZZ_CORPUS) / name;
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string bytes = test::TempDir::Read(entry.path().string());
    SCOPED_TRACE(entry.path().string());
    target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++replayed;
  }
  EXPECT_GT(replayed, 0);
}

TEST(FuzzRegressions, RufFilesRunWithoutFaults) { ReplayCorpus("ruf_file", RunRufFile); }

TEST(FuzzRegressions, RadioAnswersRunWithoutFaults) { ReplayCorpus("answers", RunAnswers); }

#ifdef FLASH_HAVE_SETTINGS_TARGET
TEST(FuzzRegressions, SettingsFilesLoadWithoutFaults) {
  ReplayCorpus("settings", RunSettingsFile);
}
#endif

}  // namespace
}  // namespace flash::fuzz
