#include "cli/run_checks.h"

#include <filesystem>
#include <system_error>

#include "cli/exit_status.h"
#include "link/output_file.h"

namespace flash {
namespace {

// Why the file may not go to any radio; empty when it may. verifying: a Verify is
// part of the run.
std::string FileRefusal(const std::string& path, const RufSurvey& survey, bool verifying) {
  if (!survey.opened) return "Unable to open file " + path;
  std::string reason = RefusalReason(survey, path);
  // Said once for all the radios rather than by each radio's operation.
  if (reason.empty() && verifying) reason = VerifyRefusalReason(survey, path);
  return reason;
}

// A folder for the traces that does not exist is made, with its missing parents.
std::string TraceFolderFault(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return {};
  if (std::filesystem::create_directories(folder, error)) return {};
  return "the trace folder " + folder + " cannot be made: " +
         (error ? error.message() : "a file of that name is in its place");
}

// Why the output file cannot be written without harm to what the run reads.
std::string OutputFileFault(const std::string& what, const std::string& path,
                        const std::string& rufFile) {
  const OutputProblem problem = CheckOutputFile(path, RunInputs(rufFile), OutputNaming::ByUser);
  return problem.ok() ? std::string()
                      : "the " + what + " " + path + " cannot be written: " + problem.reason;
}

}  // namespace

std::optional<int> RefuseManyRadioRun(const CliOptions& options, const RufSurvey& survey,
                                      const std::string& what,
                                      const std::optional<std::string>& output,
                                      ConsoleOutput& console) {
  const OperationMode mode = options.mode();
  if (const std::string refusal = FileRefusal(options.rufFile, survey,
                                              mode == OperationMode::Verify ||
                                                  mode == OperationMode::ProgramThenVerify);
      !refusal.empty()) {
    console.Error(refusal + " Nothing was sent to any radio.");
    return kExitFileRefused;
  }
  if (const std::string warning = WarningSummary(survey); !warning.empty()) console.Error(warning);
  std::string fault = options.traceDir ? TraceFolderFault(*options.traceDir) : std::string();
  if (fault.empty() && output) fault = OutputFileFault(what, *output, options.rufFile);
  if (!fault.empty()) {
    console.Error(fault);
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace flash
