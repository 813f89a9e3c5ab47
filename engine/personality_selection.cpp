#include "engine/update_engine.h"

namespace flash {

void UpdateEngine::SelectPersonality() {
  // The Verify after a Program compares the personality the Program wrote; the user
  // is not asked twice.
  if (VerifyingAfterProgram() && programmedPersonality_ > 0) {
    state_.personality = programmedPersonality_;
    return;
  }
  // The user may take their time: no resend and no silence is counted while the
  // question waits. The start command that follows the answer re-arms the timers.
  host_.StopTimer(kIdentificationTimerId);
  StopResponseTimer();
  choosingPersonality_ = true;
  state_.personality = host_.ChoosePersonality();
  choosingPersonality_ = false;
}

}  // namespace flash
