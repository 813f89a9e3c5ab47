#include "tests/support/fake_host.h"

#include "engine/update_engine.h"

namespace flash::test {

void FakeHost::BeginOutput() {
  ++beginOutputCalls;
  output.clear();
}

void FakeHost::SetStatusText(int pane, std::string_view text) {
  status[pane] = std::string(text);
  statusHistory.emplace_back(pane, std::string(text));
}

void FakeHost::ShowMessage(std::string_view text, std::string_view caption) {
  messages.emplace_back(std::string(text), std::string(caption));
}

void FakeHost::ShowDialog(DialogId id) {
  dialogs.push_back(id);
  if (duringDialog) duringDialog(id);
}

int FakeHost::ChoosePersonality() {
  ++personalityQuestions;
  if (duringPersonalityDialog) duringPersonalityDialog();
  return personalityAnswer;
}

void FakeHost::StartTimer(int id, std::chrono::milliseconds period) {
  timers[id] = Timer{nowMs + period.count(), period.count()};
}

UtcTimeOfDay FakeHost::UtcNow() {
  const std::int64_t ms = nowMs % (24LL * 3600 * 1000);
  return UtcTimeOfDay{static_cast<unsigned>(ms / 3'600'000), static_cast<unsigned>(ms / 60'000 % 60),
                      static_cast<unsigned>(ms / 1000 % 60), static_cast<unsigned>(ms % 1000)};
}

std::chrono::milliseconds FakeHost::TimerPeriod(int id) const {
  auto it = timers.find(id);
  return std::chrono::milliseconds{it == timers.end() ? 0 : it->second.periodMs};
}

bool FakeHost::FireNextTimer() {
  if (timers.empty()) return false;
  auto next = timers.begin();
  for (auto it = timers.begin(); it != timers.end(); ++it) {
    if (it->second.dueMs < next->second.dueMs) next = it;
  }
  const int id = next->first;
  nowMs = std::max(nowMs, next->second.dueMs);
  // Window timers keep firing every period until they are stopped.
  next->second.dueMs += next->second.periodMs;
  if (engine_ != nullptr) engine_->OnTimer(id);
  return true;
}

void FakeHost::AdvanceBy(std::chrono::milliseconds duration) {
  const std::int64_t target = nowMs + duration.count();
  for (;;) {
    std::optional<std::int64_t> due;
    for (const auto& [id, timer] : timers) {
      if (!due || timer.dueMs < *due) due = timer.dueMs;
    }
    if (!due || *due > target) break;
    FireNextTimer();
  }
  nowMs = std::max(nowMs, target);
}

}  // namespace flash::test
