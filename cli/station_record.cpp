#include "cli/station_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <type_traits>

namespace flash {
namespace {

constexpr mode_t kNewRecordFileMode = 0644;  // before the umask

using Json = nlohmann::ordered_json;

// The field as the type wanted, or why not: records are read back by scripts too,
// so a line that lacks one is no record.
template <typename T>
bool TakeField(const Json& object, const char* name, T& out, std::string& why) {
  const auto it = object.find(name);
  const bool fits = it != object.end() && (std::is_same_v<T, std::string> ? it->is_string()
                                           : std::is_same_v<T, double>    ? it->is_number()
                                                                          : it->is_number_integer());
  if (!fits) {
    if (why.empty()) why = std::string("no ") + name;
    return false;
  }
  out = it->get<T>();
  return true;
}

std::string SystemReason(const std::string& path, int error) {
  return path + ": " + std::strerror(error);
}

}  // namespace

std::string IsoUtcMilliseconds(std::chrono::system_clock::time_point when) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(std::floor(ms.count() / 1000.0));
  std::tm utc {};
  gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  const long long fraction = ms.count() - static_cast<long long>(seconds) * 1000;
  std::snprintf(text + n, sizeof text - n, ".%03lldZ", fraction);
  return text;
}

std::string StationHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

std::string RecordJsonLine(const StationRecord& r) {
  Json operations = Json::array();
  for (const StationOperation& o : r.operations) {
    operations.push_back({{"operation", o.operation},
                          {"outcome", o.outcome},
                          {"reason", o.reason},
                          {"linesSent", o.linesSent},
                          {"linesTotal", o.linesTotal},
                          {"seconds", std::round(o.seconds * 1000) / 1000}});
  }
  const Json object = {
      {"start", r.start},
      {"end", r.end},
      {"station", r.station},
      {"link", r.link},
      {"device", r.device},
      {"adapter", {{"maker", r.adapterMaker}, {"model", r.adapterModel}, {"serial", r.adapterSerial}}},
      {"radio", {{"modelCode", r.radioModelCode}, {"model", r.radioModel}, {"dsp", r.dspVersion}}},
      {"file", {{"path", r.file}, {"sha256", r.fileSha256}, {"dataLines", r.fileDataLines}}},
      {"operations", operations},
      {"outcome", r.outcome},
      {"reason", r.reason},
      {"exitStatus", r.exitStatus},
      {"trace", r.trace}};
  // A device or file name is bytes: one that is not UTF-8 gets U+FFFD in its place.
  return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<StationRecord> ParseRecordLine(std::string_view line, std::string& why) {
  why.clear();
  const Json object = Json::parse(line, nullptr, false);
  if (object.is_discarded() || !object.is_object()) {
    why = "not a JSON object";
    return std::nullopt;
  }
  StationRecord r;
  const auto part = [&object](const char* name) -> const Json& {
    static const Json kNone;
    const auto it = object.find(name);
    return it != object.end() && it->is_object() ? *it : kNone;
  };
  const Json& adapter = part("adapter");
  const Json& radio = part("radio");
  const Json& file = part("file");
  bool ok = TakeField(object, "start", r.start, why) && TakeField(object, "end", r.end, why) &&
            TakeField(object, "station", r.station, why) &&
            TakeField(object, "link", r.link, why) &&
            TakeField(object, "device", r.device, why) &&
            TakeField(adapter, "maker", r.adapterMaker, why) &&
            TakeField(adapter, "model", r.adapterModel, why) &&
            TakeField(adapter, "serial", r.adapterSerial, why) &&
            TakeField(radio, "modelCode", r.radioModelCode, why) &&
            TakeField(radio, "model", r.radioModel, why) &&
            TakeField(radio, "dsp", r.dspVersion, why) && TakeField(file, "path", r.file, why) &&
            TakeField(file, "sha256", r.fileSha256, why) &&
            TakeField(file, "dataLines", r.fileDataLines, why) &&
            TakeField(object, "outcome", r.outcome, why) &&
            TakeField(object, "reason", r.reason, why) &&
            TakeField(object, "exitStatus", r.exitStatus, why) &&
            TakeField(object, "trace", r.trace, why);
  const auto operations = object.find("operations");
  if (ok && (operations == object.end() || !operations->is_array())) {
    why = "no operations";
    ok = false;
  }
  for (std::size_t i = 0; ok && i < operations->size(); ++i) {
    const Json& o = (*operations)[i];
    StationOperation op;
    ok = o.is_object() && TakeField(o, "operation", op.operation, why) &&
         TakeField(o, "outcome", op.outcome, why) && TakeField(o, "reason", op.reason, why) &&
         TakeField(o, "linesSent", op.linesSent, why) &&
         TakeField(o, "linesTotal", op.linesTotal, why) && TakeField(o, "seconds", op.seconds, why);
    if (!ok && why.empty()) why = "an operation is not an object";
    r.operations.push_back(op);
  }
  if (!ok) return std::nullopt;
  return r;
}

std::string AppendRecord(const std::string& path, const StationRecord& record,
                         const std::vector<InputFile>& inputs) {
  // Only a plain file can be flushed to a disk, whoever named it.
  OutputProblem problem;
  const int fd = OpenOutputFile(path, inputs, OutputNaming::ByTool, kNewRecordFileMode, problem);
  if (fd < 0) return path + ": " + problem.reason;
  std::string line = RecordJsonLine(record);
  std::string why;
  struct stat info {};
  char last = '\n';
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, (flags & ~O_NONBLOCK) | O_APPEND) != 0 ||
      ::fstat(fd, &info) != 0) {
    why = SystemReason(path, errno);
  } else if (info.st_size > 0) {
    // The descriptor writes only: the last byte is read through one of its own, of the
    // same file. A file that cannot be read is taken as whole.
    const int reader = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat read {};
    if (reader >= 0 && ::fstat(reader, &read) == 0 && read.st_ino == info.st_ino &&
        read.st_dev == info.st_dev && ::pread(reader, &last, 1, info.st_size - 1) != 1) {
      last = '\n';
    }
    if (reader >= 0) ::close(reader);
  }
  // A record cut short by an earlier full disk would swallow this one into its line.
  if (last != '\n') line.insert(line.begin(), '\n');
  if (why.empty()) {
    ssize_t written = -1;
    do {
      written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
      why = SystemReason(path, errno);
    } else if (static_cast<std::size_t>(written) != line.size()) {
      why = path + ": only " + std::to_string(written) + " of the record's " +
            std::to_string(line.size()) + " bytes were written (is the disk full?)";
    } else if (::fsync(fd) != 0) {
      why = SystemReason(path, errno);
    }
  }
  if (::close(fd) != 0 && errno != EINTR && why.empty()) why = SystemReason(path, errno);
  return why;
}

}  // namespace flash
