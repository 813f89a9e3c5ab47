#pragma once

#include <string>
#include <vector>

namespace flash {

// True when the program was started with any argument text at all after its own
// name: such a run ignores the radio's answers and errors. Takes the command line
// after QApplication has taken out the options that are Qt's own (-style fusion,
// -platform offscreen ...), so that those switch nothing.
bool ArgumentsIgnoreErrors(const std::vector<std::string>& programArgs);

// What the command line asks to be printed instead of starting the program.
enum class InformationRequest { None, Usage, Version };

// --help or -h asks for the usage, --version or -V for the version, wherever they stand.
// Looked at before Qt starts, so that neither needs a display nor touches update.ini.
InformationRequest RequestedInformation(const std::vector<std::string>& args);
std::string UsageText();
// "flash-update" and the project's version, and on a line of its own the git
// checkout the program was built from, if any.
std::string VersionLine();

}  // namespace flash
