#include "cli/fleet_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "cli/exit_status.h"

namespace flash {
namespace {

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string ModelText(const FleetRadio& radio) {
  return radio.model ? std::to_string(*radio.model) : "-";
}

std::string Lines(const FleetRadio& radio) {
  return std::to_string(radio.linesSent) + " of " + std::to_string(radio.linesTotal);
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", seconds);
  return text;
}

// Columns of text padded to the widest cell of each, the last one left as it is.
std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += i + 1 < row.size() ? Padded(row[i], widths[i] + 2) : row[i];
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

}  // namespace

std::string OutcomeWord(OperationOutcome outcome, bool identified) {
  switch (outcome) {
    case OperationOutcome::ProgramSucceeded:
    case OperationOutcome::VerifySucceeded:
    case OperationOutcome::EndedWithoutDialog:
      return "success";
    case OperationOutcome::CompletedUnchecked:
      return "unchecked";
    case OperationOutcome::ProgramFailed:
    case OperationOutcome::VerifyFailed:
      return "failed";
    case OperationOutcome::CommunicationFailed:
      return identified ? "no-answer" : "no-identification";
    case OperationOutcome::ModelMismatch:
    case OperationOutcome::PersonalityCancelled:
    case OperationOutcome::UnlistedModel:
      return "refused";
    case OperationOutcome::FileRefused:
      return "file-refused";
    case OperationOutcome::LinkNotOpened:
      return "link-not-opened";
    case OperationOutcome::Stopped:
      break;
  }
  return "stopped";
}

int FleetExitStatus(const std::vector<FleetRadio>& radios) {
  constexpr int kWorstFirst[] = {kExitOperationFailed, kExitCommunicationFailed,
                                 kExitRefusedByRadio,  kExitLinkNotOpened,
                                 kExitFileRefused,     kExitUnchecked,
                                 kExitOutputNotWritten};
  for (const FleetRadio& radio : radios) {
    if (radio.exitStatus >= kExitSignalBase) return radio.exitStatus;
  }
  for (const int status : kWorstFirst) {
    for (const FleetRadio& radio : radios) {
      if (radio.exitStatus == status) return status;
    }
  }
  return kExitSuccess;
}

std::vector<std::string> ProgressLines(const std::vector<FleetRadio>& radios) {
  std::vector<std::vector<std::string>> rows;
  for (const FleetRadio& radio : radios) {
    rows.push_back({radio.link, ModelText(radio), radio.progress, radio.state});
  }
  std::string table = Table(rows);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < table.size();) {
    const std::size_t end = table.find('\n', at);
    lines.push_back(table.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

std::string SummaryTable(const std::vector<FleetRadio>& radios, int exitStatus) {
  std::vector<std::vector<std::string>> rows = {{"link", "model", "lines", "seconds", "result"}};
  int succeeded = 0;
  for (const FleetRadio& radio : radios) {
    const std::string both =
        radio.verify.empty() ? "" : " (program " + radio.program + ", verify " + radio.verify + ")";
    rows.push_back({radio.link, ModelText(radio), Lines(radio), Seconds(radio.seconds),
                    radio.outcome + both + (radio.reason.empty() ? "" : ": " + radio.reason)});
    succeeded += radio.exitStatus == kExitSuccess;
  }
  return Table(rows) + std::to_string(succeeded) + " of " + std::to_string(radios.size()) +
         " radios succeeded; exit status " + std::to_string(exitStatus) + ".\n";
}

std::string ReportJson(const std::vector<FleetRadio>& radios) {
  // One object per line, so that a line station's grep finds a radio's whole result.
  std::string json = "[";
  for (const FleetRadio& r : radios) {
    nlohmann::ordered_json object = {{"link", r.link},
                                     {"model", nullptr},
                                     {"linesSent", r.linesSent},
                                     {"linesTotal", r.linesTotal},
                                     {"seconds", std::round(r.seconds * 10) / 10},
                                     {"outcome", r.outcome},
                                     {"reason", r.reason}};
    if (r.model) object["model"] = *r.model;
    if (!r.verify.empty()) {
      object["program"] = r.program;
      object["verify"] = r.verify;
    }
    object["exitStatus"] = r.exitStatus;
    // A device name is bytes: one that is not UTF-8 is written with U+FFFD in its place.
    json += (json.size() == 1 ? "\n  " : ",\n  ") +
            object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  return json + "\n]\n";
}

}  // namespace flash
