#pragma once

#include <cstddef>
#include <cstdint>

// Entry points shared by the libFuzzer binaries and the regression tests that
// replay the inputs the fuzzers once found.
namespace flash::fuzz {

// The bytes as a RUF file, run as Program, Verify and Test operations against a
// radio that answers every request the way the engine expects.
int RunRufFile(const std::uint8_t* data, std::size_t size);
// The bytes as a series of radio answers (split at 0xFF) during an operation,
// from the identification on.
int RunAnswers(const std::uint8_t* data, std::size_t size);
// The bytes as update.ini.
int RunSettingsFile(const std::uint8_t* data, std::size_t size);

}  // namespace flash::fuzz
