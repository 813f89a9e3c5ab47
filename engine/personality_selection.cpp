#include "engine/update_engine.h"

namespace flash {

void UpdateEngine::SelectPersonality() {
  choosingPersonality_ = true;
  state_.personality = host_.ChoosePersonality();
  choosingPersonality_ = false;
}

}  // namespace flash
