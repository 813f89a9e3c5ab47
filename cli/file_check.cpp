#include "cli/file_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "cli/exit_status.h"
#include "link/file_kind.h"
#include "engine/ruf_reader.h"
#include "engine/ruf_survey.h"

namespace flash {
namespace {

struct ListedFinding {
  int lineNumber;
  const char* kind;
  const std::string* text;
};

std::string Count(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool IsModelCode(const std::string& prefix) {
  return prefix.size() == 3 && std::all_of(prefix.begin(), prefix.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) != 0;
         });
}

std::string Unlisted(int count, std::size_t listed, const char* what) {
  if (static_cast<std::size_t>(count) <= listed) return {};
  return "... " + std::to_string(count - static_cast<int>(listed)) + " more " + what +
         " not listed\n";
}

}  // namespace

std::string RufFileUnreadableReason(const std::string& path) {
  const std::optional<FileKind> kind = KindOfFile(path);
  if (!kind) return std::strerror(errno);
  // fopen takes a directory and reads nothing from it, which would pass for an empty file.
  if (*kind == FileKind::Directory) return "it is a directory";
  // A FIFO or a device could block the reading for ever.
  if (*kind != FileKind::Regular) return "it is not a regular file";
  std::error_code sizeUnknown;
  if (std::string tooLarge = RufFileSizeFault(std::filesystem::file_size(path, sizeUnknown));
      !sizeUnknown && !tooLarge.empty()) {
    return tooLarge;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return std::strerror(errno);
  std::fclose(file);
  return {};
}

FileCheckResult CheckRufFile(const std::string& path) {
  FileCheckResult result;
  if (std::string reason = RufFileUnreadableReason(path); !reason.empty()) {
    result.exitStatus = kExitFileRefused;
    result.error = "cannot open " + path + ": " + reason;
    return result;
  }
  const RufSurvey survey = SurveyRufFile(path);
  if (!survey.opened) {
    result.exitStatus = kExitFileRefused;
    result.error = "cannot open " + path;
    return result;
  }

  std::string& out = result.report;
  out += "File: " + path + "\n";
  const std::string prefix = ModelPrefixOf(path);
  out += "Model code from the file name: " + std::to_string(ModelCodeOf(prefix));
  if (!IsModelCode(prefix)) {
    out += " (the name does not begin with a three-digit model code: \"" + prefix + "\")";
  }
  out += "\n";
  const std::int32_t modelCode = ModelCodeOf(prefix);
  if (const std::string conflict = ModelLineConflict(survey, modelCode); !conflict.empty()) {
    out += "Model conflict: " + conflict + "\n";
  }
  out += "Data lines: " + std::to_string(survey.dataLines) + "\n";

  std::vector<ListedFinding> findings;
  for (const RufFinding& f : survey.checksumErrors) {
    findings.push_back({f.lineNumber, "wrong checksum", &f.text});
  }
  for (const RufFinding& f : survey.formatFaults) {
    findings.push_back({f.lineNumber, "breaks the format", &f.text});
  }
  for (const RufFinding& f : survey.undefinedLines) {
    findings.push_back({f.lineNumber, "no defined kind", &f.text});
  }
  for (const RufFinding& f : survey.unplaceable) {
    findings.push_back({f.lineNumber, "cannot be placed", &f.text});
  }
  for (const RufFinding& f : survey.warnings) {
    findings.push_back({f.lineNumber, "warning", &f.text});
  }
  std::stable_sort(findings.begin(), findings.end(),
                   [](const ListedFinding& a, const ListedFinding& b) {
                     return a.lineNumber < b.lineNumber;
                   });
  for (const ListedFinding& f : findings) {
    out += "Line " + std::to_string(f.lineNumber) + ": " + f.kind + ": " + *f.text + "\n";
  }
  out += Unlisted(survey.checksumErrorCount, survey.checksumErrors.size(), "wrong checksums");
  out += Unlisted(survey.formatFaultCount, survey.formatFaults.size(), "format faults");
  out += Unlisted(survey.undefinedLineCount, survey.undefinedLines.size(),
                  "lines of no defined kind");
  out += Unlisted(survey.unplaceableCount, survey.unplaceable.size(),
                  "records that cannot be placed");
  out += Unlisted(survey.warningCount, survey.warnings.size(), "warnings");
  if (!survey.fileFault.empty()) out += "The file cannot be sent: " + survey.fileFault + ".\n";

  // Exactly what program, verify and test refuse.
  const bool faulty = !RefusalReason(survey, path).empty();
  // The obstacle first: mending the faults would not make a Verify of such a file possible.
  std::string verifyObstacle = VerifyObstacle(survey, modelCode);
  if (verifyObstacle.empty() && faulty) verifyObstacle = "the file has faults";
  out += verifyObstacle.empty() ? std::string("Verify: possible\n")
                                : "Verify: not possible: " + verifyObstacle + "\n";
  out += "Summary: " + Count(survey.dataLines, "data line", "data lines") + ", " +
         Count(survey.checksumErrorCount, "wrong checksum", "wrong checksums") + ", " +
         Count(survey.formatFaultCount, "format fault", "format faults") + ", " +
         Count(survey.undefinedLineCount, "line of no defined kind", "lines of no defined kind") +
         (survey.unplaceableCount > 0
              ? ", " + Count(survey.unplaceableCount, "record that cannot be placed",
                             "records that cannot be placed")
              : "") +
         (survey.warningCount > 0 ? ", " + Count(survey.warningCount, "warning", "warnings") : "") +
         (faulty ? ": the file has faults.\n" : ": no fault found.\n");
  result.exitStatus = faulty ? kExitOperationFailed : kExitSuccess;
  return result;
}

}  // namespace flash
