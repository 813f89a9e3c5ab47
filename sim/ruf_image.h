#pragma once

#include <string>

#include "sim/memory_image.h"

namespace flash::sim {

// The memory a correct Program of the RUF file leaves in a radio that started
// erased: Intel HEX type 00 data at segment * 16 + offset (segments from type 02
// records, 0 before the first), S3 data at its 32-bit address. Reading stops after
// an S-record of a type that ends the file (2, 4, 5, 6, 8, 9, A-F), as an operation
// does. S1 records and Intel HEX types other than 00 and 02 leave nothing.
// On a line that breaks the format *error names the line and the fault, and the
// image holds what the lines before it wrote.
MemoryImage ImageFromRufFile(const std::string& path, std::string* error = nullptr);

}  // namespace flash::sim
