#pragma once

namespace flash {

// Opens /dev/null on each of descriptors 0 to 2 that is closed. Run first: a
// descriptor opened later would otherwise become standard input or output, and
// the log would be written into the stop-signal pipe or a serial port.
void OpenClosedStandardDescriptors();

}  // namespace flash
