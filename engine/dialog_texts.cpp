#include "engine/dialog_texts.h"

namespace flash {

std::string_view DialogTitleOf(DialogId id) {
  switch (id) {
    case DialogId::CommFailure: return "Error Encountered";
    case DialogId::ProgramSuccess: return "Flash Update";
    case DialogId::VerifySuccess: return "Flash Verification";
    case DialogId::ProcessingComplete: return "Flash Loader";
    case DialogId::VerifyFailure:
    case DialogId::ProgramFailure: return "Dialog";
  }
  return "Dialog";
}

std::string_view DialogTextOf(DialogId id) {
  switch (id) {
    case DialogId::CommFailure:
      return "Communication with the radio has failed. Since a programming operation was "
             "interrupted the radio may not function properly. Check for proper power and "
             "interface connections. Cycle the power on the radio and retry the programming "
             "operation.";
    case DialogId::ProgramSuccess:
      return "Flash Update Successfuly Completed !";
    case DialogId::VerifySuccess:
      return "File and Firmware Sucessfully Verified";
    case DialogId::ProcessingComplete:
      return "File Processing Complete! \r\n\r\nThere is no way to determine if Flash Updating "
             "was successful because error checking was turned off.";
    case DialogId::VerifyFailure:
      return "The selected file does not match the contents of the radio's Flash Memory system. "
             "You may be using the wrong RUF file for comparison. Cycle the power on the radio "
             "and confirm the firmware revision and try again. You may want to reprogram and "
             "reverify.";
    case DialogId::ProgramFailure:
      return "Unable to update the radio's Flash Memory with the selected file. Confirm that the "
             "radio is connected and powered and that the update file is a valid Rom Update File "
             "(RUF) for this radio.";
  }
  return {};
}

}  // namespace flash
