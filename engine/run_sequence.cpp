#include "engine/run_sequence.h"

namespace flash {

bool RunSequence::Take(OperationOutcome outcome) {
  if (outcome_) return true;
  if (mode_ == OperationMode::ProgramThenVerify && !program_) {
    program_ = outcome;
    if (outcome == OperationOutcome::ProgramSucceeded) return false;  // the Verify follows
  }
  outcome_ = outcome;
  return true;
}

}  // namespace flash
