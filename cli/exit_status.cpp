#include "cli/exit_status.h"

#include <csignal>

namespace flash {

int ExitStatusFor(OperationOutcome outcome, bool answered) {
  switch (outcome) {
    case OperationOutcome::ProgramSucceeded:
    case OperationOutcome::VerifySucceeded:
    case OperationOutcome::EndedWithoutDialog:
      return kExitSuccess;
    case OperationOutcome::CompletedUnchecked:
      return answered ? kExitUnchecked : kExitCommunicationFailed;
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

std::string UncheckedReason(bool answered) {
  return answered ? "the radio's answers were not checked (--ignore-errors): nothing shows that "
                    "it holds the file"
                  : "the radio never answered during the whole run (--ignore-errors moved on "
                    "after every silence): nothing shows that it received the file";
}

std::string StopReason(int signalNumber, int linesSent, int linesTotal, bool verifying,
                       bool programmed) {
  const std::string signal = "by signal " + std::to_string(signalNumber);
  const std::string sent =
      std::to_string(linesSent) + " of " + std::to_string(linesTotal) + " lines";
  if (programmed) {
    return "during the Verify " + signal + ": the radio was programmed, its memory is not verified";
  }
  if (linesSent == 0) return signal + " before any line of the file was sent";
  if (verifying) {
    return "during the Verify " + signal + ", after " + sent + ": the radio's memory is not verified";
  }
  return "mid-flash " + signal + ", after " + sent + "; the radio may need a new update";
}

}  // namespace flash
