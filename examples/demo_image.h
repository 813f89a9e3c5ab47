#pragma once

#include "sim/memory_image.h"
#include "sim/ruf_writer.h"

namespace flash::examples {

// The generated firmware of the demo file: two blocks of 1 KiB, the second above
// 64 KB so that the file carries a segment change.
sim::MemoryImage DemoImage();
// How the demo file is written: format header, model header, comments, segment records.
sim::RufWriteOptions DemoRufOptions();

}  // namespace flash::examples
