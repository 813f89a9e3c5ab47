#include "tests/fuzz/fuzz_targets.h"

// One binary per target: FLASH_FUZZ_TARGET names the entry point.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return flash::fuzz::FLASH_FUZZ_TARGET(data, size);
}
