#pragma once

#include <optional>

#include "engine/engine_host.h"

namespace flash {

// What a front end asks the engine to do with the radio.
enum class OperationMode { Program, Verify, Test, ProgramThenVerify };

// One run of a mode. Program then Verify is two operations on one link, the Verify
// begun only after a Program that succeeded; every other mode is one operation.
// From the end of each operation it tells whether the run goes on and what the run
// came to, so that no front end keeps its own rule for it.
class RunSequence {
 public:
  explicit RunSequence(OperationMode mode = OperationMode::Program) : mode_(mode) {}

  // Takes the end of one operation of the run; true when the run ends with it.
  bool Take(OperationOutcome outcome);

  OperationMode mode() const { return mode_; }
  bool ended() const { return outcome_.has_value(); }
  // Once ended: the Verify's outcome after a Program that succeeded, else the last.
  std::optional<OperationOutcome> outcome() const { return outcome_; }
  // Program then Verify: the Program's outcome, once the Program has ended.
  std::optional<OperationOutcome> programOutcome() const { return program_; }
  // The Program of a Program-then-Verify run succeeded: its Verify runs or ran.
  bool programmed() const { return program_ == OperationOutcome::ProgramSucceeded; }
  // The operation under way, or the last one, compares the radio's memory.
  bool verifying() const { return mode_ == OperationMode::Verify || programmed(); }

 private:
  OperationMode mode_;
  std::optional<OperationOutcome> program_;
  std::optional<OperationOutcome> outcome_;
};

}  // namespace flash
