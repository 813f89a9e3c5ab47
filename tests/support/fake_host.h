#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/update_engine.h"

namespace flash::test {

// A host with a virtual clock: timers fire only when a test moves the time on, so
// eight 5-second silences take microseconds.
class FakeHost : public EngineHost {
 public:
  void Attach(UpdateEngine* engine) { engine_ = engine; }

  void BeginOutput() override { output.clear(); }
  void AppendOutput(std::string_view text) override { output += text; }
  void SetStatusText(int pane, std::string_view text) override { status[pane] = text; }
  std::optional<std::string> ChooseRufFile() override { return chosenFile; }
  void ShowMessage(std::string_view text, std::string_view caption) override {
    messages.emplace_back(text, caption);
  }
  void ShowDialog(DialogId id) override { dialogs.push_back(id); }
  // Runs duringPersonalityDialog first, as the dialog's nested event loop would.
  int ChoosePersonality() override {
    if (duringPersonalityDialog) duringPersonalityDialog();
    return personalityAnswer;
  }
  void Beep() override { ++beeps; }
  void StartTimer(int id, std::chrono::milliseconds period) override {
    timers[id] = {nowMs + period.count(), period.count()};
    armedOrder_[id] = ++armings_;
  }
  void StopTimer(int id) override { timers.erase(id); }
  std::int64_t CalendarSeconds() override { return 1'700'000'000 + nowMs / 1000; }
  UtcTimeOfDay UtcNow() override {
    const auto ms = static_cast<unsigned>(nowMs % (24LL * 3600 * 1000));
    return {ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
  }
  void RadioIdentified(std::int32_t modelCode) override { identified.push_back(modelCode); }
  void ReportProgress(int done, int total) override { progress.emplace_back(done, total); }
  bool StopOnUnlistedModel() override { return stopOnUnlistedModel; }
  void OperationEnded(OperationOutcome outcome) override { outcomes.push_back(outcome); }
  void Finding(const OperationFinding& finding) override {
    findings.push_back(finding);
    if (finding.kind == FindingKind::TraceNotWritten) ++tracesNotWritten;
  }

  // Moves the clock to the next timer expiry and fires it; false when no timer runs.
  // Window timers keep firing every period until they are stopped. Of two timers due
  // at once the one armed first fires first, as on a real clock, where it was armed
  // a little earlier.
  bool FireNextTimer() {
    const auto next = std::min_element(timers.begin(), timers.end(), [this](auto& a, auto& b) {
      return std::pair(a.second.first, armedOrder_[a.first]) <
             std::pair(b.second.first, armedOrder_[b.first]);
    });
    if (next == timers.end()) return false;
    nowMs = std::max(nowMs, next->second.first);
    next->second.first += next->second.second;
    armedOrder_[next->first] = ++armings_;
    if (engine_ != nullptr) engine_->OnTimer(next->first);
    return true;
  }
  // Moves the clock on, firing every timer that falls due on the way.
  void AdvanceBy(std::chrono::milliseconds duration) {
    const std::int64_t target = nowMs + duration.count();
    const auto due = [&](auto& timer) { return timer.second.first <= target; };
    while (std::any_of(timers.begin(), timers.end(), due)) FireNextTimer();
    nowMs = target;
  }

  std::optional<std::string> chosenFile;
  std::string output;
  std::string status[3];
  std::vector<std::pair<std::string, std::string>> messages;  // text, caption
  std::vector<DialogId> dialogs;
  std::vector<OperationOutcome> outcomes;
  std::vector<OperationFinding> findings;
  std::vector<std::int32_t> identified;
  std::vector<std::pair<int, int>> progress;
  int personalityAnswer = 1;
  std::function<void()> duringPersonalityDialog;
  int beeps = 0;
  int tracesNotWritten = 0;
  bool stopOnUnlistedModel = false;
  std::int64_t nowMs = 0;
  std::map<int, std::pair<std::int64_t, std::int64_t>> timers;  // id: due time, period (ms)

 private:
  UpdateEngine* engine_ = nullptr;
  std::map<int, std::int64_t> armedOrder_;  // id: when it was last armed, in order
  std::int64_t armings_ = 0;
};

}  // namespace flash::test
