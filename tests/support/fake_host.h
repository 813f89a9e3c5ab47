#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_host.h"

namespace flash {
class UpdateEngine;
}

namespace flash::test {

// A host with a virtual clock: timers fire only when a test advances the time,
// so eight 5-second silences take microseconds.
class FakeHost : public EngineHost {
 public:
  void Attach(UpdateEngine* engine) { engine_ = engine; }

  void BeginOutput() override;
  void AppendOutput(std::string_view text) override { output += text; }
  void SetStatusText(int pane, std::string_view text) override;
  std::optional<std::string> ChooseRufFile() override { return chosenFile; }
  void ShowMessage(std::string_view text, std::string_view caption) override;
  void ShowDialog(DialogId id) override;
  int ChoosePersonality() override;
  void Beep() override { ++beeps; }
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override { timers.erase(id); }
  std::int64_t CalendarSeconds() override { return kEpoch + nowMs / 1000; }
  UtcTimeOfDay UtcNow() override;
  bool ContinueWithoutSerialPort() override { return continueWithoutSerialPort; }
  void RadioIdentified(std::int32_t modelCode) override { identified.push_back(modelCode); }
  void ReportProgress(int done, int total) override { progress.emplace_back(done, total); }
  bool StopOnUnlistedModel() override { return stopOnUnlistedModel; }
  void OperationEnded(OperationOutcome outcome) override { outcomes.push_back(outcome); }

  // Moves the virtual clock on, firing every timer that falls due on the way.
  void AdvanceBy(std::chrono::milliseconds duration);
  // Moves the clock to the next timer expiry and fires it; false when no timer runs.
  bool FireNextTimer();
  bool TimerRunning(int id) const { return timers.count(id) != 0; }
  std::chrono::milliseconds TimerPeriod(int id) const;

  static constexpr std::int64_t kEpoch = 1'700'000'000;

  std::optional<std::string> chosenFile;
  std::string output;
  std::string status[3] = {" ", "", ""};
  std::vector<std::pair<int, std::string>> statusHistory;
  int beginOutputCalls = 0;
  std::vector<std::pair<std::string, std::string>> messages;  // text, caption
  std::vector<DialogId> dialogs;
  std::vector<OperationOutcome> outcomes;
  int personalityAnswer = 1;
  int personalityQuestions = 0;
  int beeps = 0;
  bool continueWithoutSerialPort = true;
  bool stopOnUnlistedModel = false;
  std::vector<std::int32_t> identified;
  std::vector<std::pair<int, int>> progress;
  std::int64_t nowMs = 0;
  // Runs while a modal dialog or message box is "open", as a nested event loop would.
  std::function<void(DialogId)> duringDialog;
  std::function<void()> duringPersonalityDialog;

  struct Timer {
    std::int64_t dueMs;
    std::int64_t periodMs;
  };
  std::map<int, Timer> timers;

 private:
  UpdateEngine* engine_ = nullptr;
};

}  // namespace flash::test
