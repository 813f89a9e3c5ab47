#include "cli/exit_status.h"

#include <csignal>

namespace flash {

int ExitStatusFor(OperationOutcome outcome) {
  switch (outcome) {
    case OperationOutcome::ProgramSucceeded:
    case OperationOutcome::VerifySucceeded:
    case OperationOutcome::CompletedUnchecked:
    case OperationOutcome::EndedWithoutDialog:
      return kExitSuccess;
    case OperationOutcome::ProgramFailed:
    case OperationOutcome::VerifyFailed:
      return kExitOperationFailed;
    case OperationOutcome::CommunicationFailed:
      return kExitCommunicationFailed;
    case OperationOutcome::ModelMismatch:
    case OperationOutcome::PersonalityCancelled:
    case OperationOutcome::UnlistedModel:
      return kExitRefusedByRadio;
    case OperationOutcome::FileRefused:
      return kExitFileRefused;
    case OperationOutcome::LinkNotOpened:
      return kExitLinkNotOpened;
    case OperationOutcome::Stopped:
      break;
  }
  return kExitSignalBase + SIGINT;
}

}  // namespace flash
