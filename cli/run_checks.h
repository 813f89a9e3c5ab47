#pragma once

#include <string>

#include "engine/ruf_survey.h"

namespace flash {

// What a run of many radios checks once, before any link opens.

// Why the file may not go to any radio; empty when it may. verifying: a Verify
// is part of the run.
std::string FileRefusal(const std::string& path, const RufSurvey& survey, bool verifying);
// A folder for the traces that does not exist is made, with its missing parents;
// answers why it cannot be, or an empty text.
std::string TraceFolderFault(const std::string& folder);
// Why the output file (what: "report", "record file") at path cannot be written
// without harm to what the run reads; an empty text when it can.
std::string OutputFileFault(const std::string& what, const std::string& path,
                        const std::string& rufFile);

}  // namespace flash
