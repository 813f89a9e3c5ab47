#include "cli/station_run.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/file_sha256.h"
#include "cli/radio.h"
#include "cli/radio_loop.h"
#include "cli/run_checks.h"
#include "cli/station_record.h"
#include "engine/model_table.h"
#include "engine/ruf_reader.h"
#include "engine/text_format.h"
#include "link/directory_watch.h"
#include "link/output_file.h"
#include "link/radio_socket.h"
#include "link/serial_device_list.h"
#include "link/system_clock.h"

namespace flash {
namespace {

constexpr char kDefaultWatchFolder[] = "/dev/serial/by-id";
constexpr char kDefaultRecordFile[] = "flash-records.jsonl";
constexpr std::size_t kShownDigestDigits = 12;

// One radio plugged into the station, from its link's appearance to its record.
struct PluggedRadio {
  std::string name;    // as it appeared in the folder
  std::string link;    // the folder and the name
  std::string device;  // what the link pointed to when it appeared
  std::optional<SerialPortInfo> adapter;
  std::chrono::system_clock::time_point startTime;
  std::string tracePath;
  std::unique_ptr<Radio> radio;
};

// Records name files wherever they are read later.
std::string Absolute(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// The device a link points to, as it is now; the link itself when it points nowhere.
std::string DeviceOf(const std::string& link) {
  char* resolved = ::realpath(link.c_str(), nullptr);
  if (resolved == nullptr) return link;
  std::string device(resolved);
  ::free(resolved);
  return device;
}

// "20261207T154419.123Z": a trace name that sorts by time and never repeats a radio's.
std::string CompactUtc(std::chrono::system_clock::time_point when) {
  std::string iso = IsoUtcMilliseconds(when);
  std::erase(iso, '-');
  std::erase(iso, ':');
  return iso;
}

class Station {
 public:
  Station(const CliOptions& options, ConsoleOutput& console, StopSignals& stops,
          std::shared_ptr<const std::string> bytes, int dataLines)
      : options_(options),
        console_(console),
        stops_(stops),
        bytes_(std::move(bytes)),
        sha256_(Sha256Hex(*bytes_)),
        dataLines_(dataLines),
        folder_(Absolute(options.watchDir.value_or(kDefaultWatchFolder))),
        records_(options.recordsPath.value_or(kDefaultRecordFile)),
        traceFolder_(Absolute(options.traceDir.value_or("."))),
        rufFile_(Absolute(options.rufFile)),
        hostName_(StationHostName()),
        watch_(folder_) {}

  int Run();

 private:
  void Start(const std::string& name);
  // Writes the record of every radio that has ended, then lets it go.
  void RecordEnded();
  StationRecord RecordOf(const PluggedRadio& plugged) const;
  std::string Header() const;
  bool TakesMore() const {
    return !stopping_ && (!options_.count || started_ < *options_.count);
  }
  int Running() const { return static_cast<int>(radios_.size()); }

  const CliOptions& options_;
  ConsoleOutput& console_;
  StopSignals& stops_;
  std::shared_ptr<const std::string> bytes_;
  std::string sha256_;
  int dataLines_;
  std::string folder_;
  std::string records_;
  std::string traceFolder_;
  std::string rufFile_;  // as the records name it
  std::string hostName_;
  SystemClock clock_;
  DirectoryWatch watch_;
  std::vector<std::unique_ptr<PluggedRadio>> radios_;
  std::vector<LoopRadio> driven_;
  std::unique_ptr<RadioLoop> loop_;
  int started_ = 0;
  int done_ = 0;
  int succeeded_ = 0;
  int worstStatus_ = kExitSuccess;
  bool stopping_ = false;     // no new radio is started
  bool recordFailed_ = false;
  int signalsSeen_ = 0;
};

int Station::Run() {
  if (!watch_.error().empty()) {
    console_.Error("cannot watch " + folder_ + ": " + watch_.error());
    return kExitLinkNotOpened;
  }
  console_.Note("Station: " + options_.rufFile + " (sha256 " + sha256_ + "), " +
                std::to_string(dataLines_) + " data lines; watching " + folder_ +
                "; records in " + records_ + ".");
  if (!watch_.present().empty() && !options_.present) {
    std::string names;
    for (const std::string& name : watch_.present()) names += (names.empty() ? "" : ", ") + name;
    console_.Note("Present at the start and left alone (unplug and plug in again to flash, or "
                  "give --present): " + names + ".");
  }
  LoopWatch watch;
  watch.fd = watch_.fd();
  watch.goOn = [this] { return TakesMore(); };
  watch.header = [this] { return Header(); };
  watch.stopRadiosOn = [this](int signalNumber) {
    if (++signalsSeen_ > 1) return true;
    stopping_ = true;
    if (!radios_.empty()) {
      console_.Error("signal " + std::to_string(signalNumber) + ": no new radio is started; the " +
                     std::to_string(Running()) + " running finish (another signal stops them).");
    }
    return false;
  };
  watch.afterEvents = [this](bool readable) {
    if (readable) {
      for (const DirectoryWatch::Change& change : watch_.ReadChanges()) {
        if (change.name.empty()) continue;
        const auto running = std::find_if(radios_.begin(), radios_.end(), [&](const auto& r) {
          return r->name == change.name && r->radio->engine.operationRunning();
        });
        // The cable pulled: the radio fails at once, named by the port that went away.
        if (!change.appeared && running != radios_.end()) {
          (*running)->radio->engine.OnSerialPortGone();
        }
        if (change.appeared && TakesMore() && running == radios_.end()) Start(change.name);
      }
    }
    RecordEnded();
  };
  std::vector<LoopRadio>& driven = driven_;
  loop_ = std::make_unique<RadioLoop>(driven, nullptr, stops_, console_, console_.terminal(),
                                      &watch);
  if (options_.present) {
    for (const std::string& name : watch_.present()) {
      if (TakesMore()) Start(name);
    }
  }
  const int stopSignal = loop_->Run();
  RecordEnded();
  loop_->ShowProgress(true);
  console_.Note("Station ended: " + std::to_string(done_) + " radios, " +
                std::to_string(succeeded_) + " succeeded, " +
                std::to_string(done_ - succeeded_) + " failed.");
  if (recordFailed_) return kExitOutputNotWritten;
  if (stopSignal != 0) return kExitSignalBase + stopSignal;
  // Stopped by a signal once the radios had finished: the station did its work.
  if (signalsSeen_ > 0) return kExitSuccess;
  return worstStatus_;
}

void Station::Start(const std::string& name) {
  auto plugged = std::make_unique<PluggedRadio>();
  plugged->name = name;
  plugged->link = (std::filesystem::path(folder_) / name).string();
  plugged->device = DeviceOf(plugged->link);
  plugged->adapter = SerialPortOf(plugged->link);
  plugged->startTime = std::chrono::system_clock::now();
  plugged->tracePath =
      (std::filesystem::path(traceFolder_) / (name + "-" + CompactUtc(plugged->startTime) + ".txt"))
          .string();
  RadioHostSetup setup{.link = name,
                       .rufFile = options_.rufFile,
                       .personality = options_.personality,
                       .mode = options_.mode(),
                       .presentation = RadioPresentation::Line,
                       .start = std::chrono::steady_clock::now(),
                       .linesTotal = dataLines_};
  CliLink link;
  link.device = plugged->link;
  plugged->radio = std::make_unique<Radio>(LinkSettingsFor(link, std::nullopt),
                                           std::make_unique<RadioSocket>(), plugged->tracePath,
                                           false, console_, clock_, stops_, std::move(setup));
  Radio& radio = *plugged->radio;
  ++started_;
  if (!console_.terminal()) {
    console_.Note(name + ": started (" + plugged->device + ")");
  }
  radios_.push_back(std::move(plugged));
  driven_.push_back({&radio.engine, &radio.host, &radio.serial, nullptr, nullptr});
  OperationOptions operation;
  operation.fileBytes = bytes_;
  radio.engine.Run(options_.mode(), operation);
  if (loop_) loop_->Redraw();
}

// Who, what, when and how it ended, for a radio whose run has ended.
StationRecord Station::RecordOf(const PluggedRadio& plugged) const {
  const RadioHost& host = plugged.radio->host;
  const FleetRadio& result = host.radio();
  StationRecord record;
  record.start = IsoUtcMilliseconds(plugged.startTime);
  record.end = IsoUtcMilliseconds(std::chrono::system_clock::now());
  record.station = hostName_;
  record.link = plugged.link;
  record.device = plugged.device;
  if (plugged.adapter) {
    record.adapterMaker = plugged.adapter->maker;
    record.adapterModel = plugged.adapter->model;
    record.adapterSerial = plugged.adapter->serialNumber;
  }
  record.radioModelCode = result.model.value_or(0);
  if (const ModelRow* row = result.model ? FindModelRow(*result.model) : nullptr) {
    record.radioModel = std::string(row->statusText);
  }
  if (const auto dsp = host.dspVersion()) {
    record.dspVersion = Format("%1.3f", static_cast<double>(*dsp) / 1000.0);
  }
  record.file = rufFile_;
  record.fileSha256 = sha256_;
  record.fileDataLines = dataLines_;
  if (options_.mode() == OperationMode::ProgramThenVerify) {
    const bool programmed = result.program == "success";
    record.operations.push_back({.operation = "program",
                                 .outcome = result.program,
                                 .reason = programmed ? "" : result.reason,
                                 .linesSent = programmed ? result.linesTotal : result.linesSent,
                                 .linesTotal = result.linesTotal,
                                 .seconds = programmed ? host.programSeconds() : result.seconds});
    record.operations.push_back({.operation = "verify",
                                 .outcome = result.verify,
                                 .reason = programmed ? result.reason : "",
                                 .linesSent = programmed ? result.linesSent : 0,
                                 .linesTotal = result.linesTotal,
                                 .seconds = programmed ? result.seconds - host.programSeconds() : 0.0});
  } else {
    record.operations.push_back({.operation = "program",
                                 .outcome = result.outcome,
                                 .reason = result.reason,
                                 .linesSent = result.linesSent,
                                 .linesTotal = result.linesTotal,
                                 .seconds = result.seconds});
  }
  record.outcome = result.outcome;
  record.reason = result.reason;
  record.exitStatus = result.exitStatus;
  std::error_code error;
  if (std::filesystem::exists(plugged.tracePath, error)) record.trace = plugged.tracePath;
  return record;
}

void Station::RecordEnded() {
  for (std::size_t i = 0; i < radios_.size();) {
    PluggedRadio& plugged = *radios_[i];
    RadioHost& host = plugged.radio->host;
    if (!host.ended() && plugged.radio->engine.operationRunning()) {
      ++i;
      continue;
    }
    if (!host.ended()) host.EndUnstarted(OperationOutcome::CommunicationFailed, "");
    const FleetRadio& result = host.radio();
    const StationRecord record = RecordOf(plugged);
    if (const std::string fault = AppendRecord(records_, record, RunInputs(options_.rufFile));
        !fault.empty()) {
      // No radio is flashed without its record.
      recordFailed_ = stopping_ = true;
      console_.Error("the record of " + plugged.name + " was not written: " + fault +
                     "; no new radio is started.");
    }
    ++done_;
    if (result.exitStatus == kExitSuccess) ++succeeded_;
    FleetRadio worstSoFar;
    worstSoFar.exitStatus = worstStatus_;
    worstStatus_ = FleetExitStatus({worstSoFar, result});
    const std::string line = plugged.name + ": " + result.outcome +
                             (result.reason.empty() ? "" : ": " + result.reason);
    // A failure also goes to standard error, said once where both streams are one.
    console_.Note(line);
    if (result.exitStatus != kExitSuccess) console_.AlsoAsError(line);
    driven_.erase(driven_.begin() + static_cast<std::ptrdiff_t>(i));
    radios_.erase(radios_.begin() + static_cast<std::ptrdiff_t>(i));
    if (loop_) loop_->Redraw();
  }
}

std::string Station::Header() const {
  // Short enough for one terminal line: the lines are redrawn in place.
  return "Station: " + std::filesystem::path(rufFile_).filename().string() + " (sha256 " +
         sha256_.substr(0, kShownDigestDigits) +
         "), watching " + folder_ + ": " + std::to_string(done_) + " done, " +
         std::to_string(succeeded_) + " succeeded, " + std::to_string(done_ - succeeded_) +
         " failed, " + std::to_string(Running()) + " running";
}

}  // namespace

int RunStation(const CliOptions& options, ConsoleOutput& console) {
  // The file is read and checked once: every radio gets these bytes, named in every
  // record by their digest, whatever the file on disk becomes.
  auto bytes = std::make_shared<std::string>();
  if (std::string why; !LoadRufFile(options.rufFile, *bytes, &why)) {
    console.Error("Unable to open file " + options.rufFile + ": " + why);
    return kExitFileRefused;
  }
  const RufSurvey survey = SurveyRufBytes(*bytes);
  const std::string records = options.recordsPath.value_or(kDefaultRecordFile);
  if (const auto refused = RefuseManyRadioRun(options, survey, "record file", records, console)) {
    return *refused;
  }
  StopSignals stops;
  if (!stops.ok()) {
    console.Error(std::string("cannot install the signal handlers: ") + std::strerror(errno));
    return kExitLinkNotOpened;
  }
  Station station(options, console, stops, std::move(bytes), survey.dataLines);
  return station.Run();
}

}  // namespace flash
