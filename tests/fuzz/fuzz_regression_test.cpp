#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace flash::fuzz {
int RunRufFile(const std::uint8_t* data, std::size_t size);
int RunAnswers(const std::uint8_t* data, std::size_t size);
int RunSettingsFile(const std::uint8_t* data, std::size_t size);
namespace {

// Every input a fuzzer once found (and every seed) stays a test.
TEST(FuzzRegressions, EveryKeptInputRunsWithoutFaults) {
  const std::pair<const char*, int (*)(const std::uint8_t*, std::size_t)> targets[] = {
      {"ruf_file", RunRufFile}, {"answers", RunAnswers}, {"settings", RunSettingsFile}};
  for (const auto& [corpus, target] : targets) {
    int replayed = 0;
    const std::filesystem::path folder = std::filesystem::path(FLASH_FUZZ_CORPUS) / corpus;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      SCOPED_TRACE(entry.path().string());
      const std::string bytes = test::TempDir::Read(entry.path().string());
      target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
    EXPECT_GT(replayed, 0) << corpus;
  }
}

}  // namespace
}  // namespace flash::fuzz
