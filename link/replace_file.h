#pragma once

#include <string>
#include <string_view>

namespace flash {

// Replaces the file's content as one step: the new content goes to a fresh file
// beside it, is flushed to the disk, and is then renamed over the old file. A
// crash or a full disk midway never leaves a half-written file, and a failure
// leaves the old file exactly as it was. A symbolic link is followed, so the
// file it names is replaced and the link stays. A file that its user may not
// write (read-only) is left as it is. Answers 0 or the errno of the step that failed.
int ReplaceFileContents(const std::string& path, std::string_view content);

}  // namespace flash
