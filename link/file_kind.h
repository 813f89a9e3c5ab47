#pragma once

#include <optional>
#include <string>

namespace flash {

enum class FileKind { Regular, Directory, Other };

// What kind of file path names, learnt from stat alone: opening a FIFO or a
// device to find out could block for ever. Nothing when stat fails; errno then
// says why.
std::optional<FileKind> KindOfFile(const std::string& path);

}  // namespace flash
