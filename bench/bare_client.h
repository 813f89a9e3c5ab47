#pragma once

#include <cstddef>
#include <string>

namespace flash::bench {

// The least a program can do against a radio on a pseudo-terminal: one thread
// that identifies it, starts it and writes record frames of 16 data bytes (built
// by the engine's frame builder beforehand) one after the other, each as soon as
// the echo of the one before has arrived. No countdown, no engine loop, no trace. Its line rate is the ceiling of the
// test rig (radio-sim and the pseudo-terminal) that the program is measured on.
// Answers the seconds that `lines` records took from the first frame to the
// last echo, or a negative number when the radio stopped answering.
double TimeBareClientLines(const std::string& device, std::size_t lines);

}  // namespace flash::bench
