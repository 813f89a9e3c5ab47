#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_host.h"

namespace flash::bench {

// The engine's host with every progress update timestamped; everything passes
// through. The line step updates the progress right after it has read the next
// line, which follows the step's countdown at once (every tenth line from the
// fiftieth on), so these moments mark the countdown's end.
class TimedHost final : public EngineHost {
 public:
  explicit TimedHost(EngineHost& inner) : inner_(inner) { statusStamps_.reserve(1 << 16); }

  void BeginOutput() override { inner_.BeginOutput(); }
  void AppendOutput(std::string_view text) override { inner_.AppendOutput(text); }
  void SetStatusText(int pane, std::string_view text) override {
    if (pane == 0 && !text.empty()) statusStamps_.push_back(std::chrono::steady_clock::now());
    inner_.SetStatusText(pane, text);
  }
  std::optional<std::string> ChooseRufFile() override { return inner_.ChooseRufFile(); }
  void ShowMessage(std::string_view text, std::string_view caption) override {
    inner_.ShowMessage(text, caption);
  }
  void ShowDialog(DialogId id) override { inner_.ShowDialog(id); }
  int ChoosePersonality() override { return inner_.ChoosePersonality(); }
  void Beep() override { inner_.Beep(); }
  void StartTimer(int id, std::chrono::milliseconds period) override { inner_.StartTimer(id, period); }
  void StopTimer(int id) override { inner_.StopTimer(id); }
  void OperationEnded(OperationOutcome outcome) override { inner_.OperationEnded(outcome); }
  std::int64_t CalendarSeconds() override { return inner_.CalendarSeconds(); }
  UtcTimeOfDay UtcNow() override { return inner_.UtcNow(); }

  const std::vector<std::chrono::steady_clock::time_point>& statusStamps() const {
    return statusStamps_;
  }

 private:
  EngineHost& inner_;
  std::vector<std::chrono::steady_clock::time_point> statusStamps_;
};

}  // namespace flash::bench
