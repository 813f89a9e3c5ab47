#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace flash {

// The rule for every file the tools write (a trace, a trace folder's files, a
// report), so that a mistyped name costs at most that output, never the firmware,
// the settings or a device:
// - never a file the run reads, whatever name, symbolic or hard link leads to it;
// - a symbolic link is never followed to replace or empty the file it names;
// - a folder, a device, a pipe or a socket is never replaced; a device or a pipe
//   is written into only where the user named it, and never a disk, nor a
//   terminal other than the tool's own (a radio may be on a serial port);
// - a write that does not reach the file whole is a failure with its reason.

// A file the run reads; what names it in a message ("the RUF file of this run").
struct InputFile {
  std::string path;
  std::string what;
};

// The RUF file (when given) and update.ini in the current directory.
std::vector<InputFile> RunInputs(const std::string& rufFile);

// Who chose an output's name: a name the tool made (comms.txt, a trace folder's
// files) leads to a plain file or to nothing.
enum class OutputNaming { ByTool, ByUser };

enum class OutputFault {
  None,
  InputFile,     // it is a file the run reads
  NotPlainFile,  // a symbolic link, a device, a pipe or a socket, left alone
  WriteFailed,   // a folder, or the system refused: no permission, no space, no such folder
};

struct OutputProblem {
  OutputFault fault = OutputFault::None;
  std::string reason;  // a clause for after the file's name: "it is a folder"
  bool ok() const { return fault == OutputFault::None; }
};

// Whether path may be written, looked at without opening or making anything:
// for telling a mistake before a run begins.
OutputProblem CheckOutputFile(const std::string& path, const std::vector<InputFile>& inputs,
                              OutputNaming naming);

// Opens path for writing by the rule, made with newMode (before the umask) when
// missing and not emptied: for a file written as a run goes (a trace). Answers
// the descriptor, or -1 with problem set.
int OpenOutputFile(const std::string& path, const std::vector<InputFile>& inputs,
                   OutputNaming naming, mode_t newMode, OutputProblem& problem);

// Writes content whole by the rule: a regular file (or a new one) is replaced as
// one step, keeping its owner and mode; a device or pipe the user named is written
// into, a reader that takes nothing for a few seconds being a failure.
OutputProblem WriteOutputFile(const std::string& path, std::string_view content,
                              const std::vector<InputFile>& inputs, OutputNaming naming);

}  // namespace flash
