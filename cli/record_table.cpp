#include "cli/record_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

namespace flash {
namespace {

using TableRow = std::vector<std::string>;

std::string PaddedRows(const std::vector<TableRow>& rows) {
  std::vector<std::size_t> widths;
  for (const TableRow& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string text;
  for (const TableRow& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string RadioName(const StationRecord& r) {
  if (r.radioModelCode == 0 && r.radioModel.empty()) return "-";
  std::string name = r.radioModelCode != 0 ? std::to_string(r.radioModelCode) : "";
  if (!r.radioModel.empty()) name += (name.empty() ? "" : " ") + r.radioModel;
  return name;
}

std::string Totals(const std::map<std::string, int>& counts) {
  std::string text;
  for (const auto& [name, count] : counts) {
    text += (text.empty() ? " " : ", ") + name + " " + std::to_string(count);
  }
  return text;
}

}  // namespace

std::string RecordsTable(const std::vector<StationRecord>& records) {
  std::map<std::string, const StationRecord*> last;
  for (const StationRecord& r : records) {
    last[r.adapterSerial.empty() ? "(" + r.link + ")" : r.adapterSerial] = &r;
  }
  std::vector<TableRow> rows = {{"ADAPTER", "ENDED (UTC)", "RADIO", "OUTCOME", "LINES", "REASON"}};
  std::map<std::string, int> byOutcome;
  std::map<std::string, int> byModel;
  for (const auto& [adapter, r] : last) {
    // The Program's lines: a Verify after it reads the same ones.
    const std::string lines =
        r->operations.empty() ? "-"
                              : std::to_string(r->operations.front().linesSent) + "/" +
                                    std::to_string(r->operations.front().linesTotal);
    rows.push_back({adapter, r->end, RadioName(*r), r->outcome, lines, r->reason});
    ++byOutcome[r->outcome];
    ++byModel[RadioName(*r)];
  }
  const auto counted = [](std::size_t n, const char* what) {
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
  };
  return PaddedRows(rows) + "\n" + counted(last.size(), "radio") + " in " +
         counted(records.size(), "record") + ".\nBy outcome:" + Totals(byOutcome) +
         ".\nBy model:" + Totals(byModel) + ".\n";
}

RecordsShown ShowRecords(const std::string& path) {
  RecordsShown shown;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    shown.error = path + ": it is a folder";
    return shown;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    shown.error = path + ": " + std::strerror(errno);
    return shown;
  }
  std::vector<StationRecord> records;
  std::string line;
  std::string why;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (std::optional<StationRecord> record = ParseRecordLine(line, why)) {
      records.push_back(std::move(*record));
    } else {
      shown.skipped.push_back(path + ":" + std::to_string(number) + ": not a record (" + why +
                              "); skipped");
    }
  }
  if (in.bad()) {
    shown.error = path + ": " + std::strerror(errno);
    return shown;
  }
  shown.table = records.empty() ? "No records in " + path + ".\n" : RecordsTable(records);
  return shown;
}

}  // namespace flash
