#pragma once

#include <string>
#include <string_view>

namespace flash {

// What ReplaceFileContents answers, besides 0 and an errno, for a file whose mode
// gives nobody the write permission: it is kept as it is, also when root (whom
// no permission check stops) saves.
inline constexpr int kFileMarkedReadOnly = -1;

// Replaces the file's content as one step: the new content goes to a fresh file
// beside it, is flushed to the disk, and is then renamed over the old file. A
// crash or a full disk midway never leaves a half-written file, and a failure
// leaves the old file exactly as it was. The new file takes the old one's mode,
// owner and group (a save under sudo leaves the user's file the user's).
//
// Where that cannot be done, the file is rewritten in place (truncated, written,
// flushed) instead, which keeps its owner by itself: when the folder takes no new
// file but the file may be written, and when the old owner or group cannot be
// given to a new file (another user who may write the file saves it).
//
// A symbolic link is followed, so the file it names is replaced and the link
// stays. A file that its user may not write, or that its mode marks read-only,
// is left as it is. Answers 0, kFileMarkedReadOnly or the errno of the step that failed.
int ReplaceFileContents(const std::string& path, std::string_view content);

// The folder a path names its file in: "." for a bare name, "/" at the top.
std::string DirectoryOf(const std::string& path);

}  // namespace flash
