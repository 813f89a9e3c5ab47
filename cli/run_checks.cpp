#include "cli/run_checks.h"

#include <filesystem>
#include <system_error>

#include "link/output_file.h"

namespace flash {

std::string FileRefusal(const std::string& path, const RufSurvey& survey, bool verifying) {
  if (!survey.opened) return "Unable to open file " + path;
  std::string reason = RefusalReason(survey, path);
  // Said once for all the radios rather than by each radio's operation.
  if (reason.empty() && verifying) reason = VerifyRefusalReason(survey, path);
  return reason;
}

std::string TraceFolderFault(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::is_directory(folder, error)) return {};
  if (std::filesystem::create_directories(folder, error)) return {};
  return "the trace folder " + folder + " cannot be made: " +
         (error ? error.message() : "a file of that name is in its place");
}

std::string OutputFileFault(const std::string& what, const std::string& path,
                        const std::string& rufFile) {
  const OutputProblem problem = CheckOutputFile(path, RunInputs(rufFile), OutputNaming::ByUser);
  return problem.ok() ? std::string()
                      : "the " + what + " " + path + " cannot be written: " + problem.reason;
}

}  // namespace flash
