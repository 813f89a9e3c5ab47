#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace flash::sim {

// Named misbehaviours of a simulated radio. Requests are numbered from 1 in the
// order the radio receives them (every request counts, answered or not).
struct RadioFaults {
  int silentFromRequest = 0;     // K > 0: no answer to request K and later ones
  int wrongEchoFirst = 0;        // the first N echo answers (':' and two hex digits) carry a wrong value
  int wrongEchoFromRequest = 0;  // K > 0: every echo to request K and later ones is wrong
  int garbageEvery = 0;          // K > 0: every K-th request gets an answer that means nothing
  bool noEchoOnFirstTry = false;  // a record, 'A' or 'S' frame is answered only when it comes again
  // Models 797 and 729: before the ACK of every K-th text line (K > 0), the radio
  // sends XOFF and then XON, each as an answer of its own.
  int xonXoffEvery = 0;
  // A memory cell that does not keep what is written: after a write it holds the
  // value with its bits inverted. The write's echo is right (it echoes the frame);
  // only a Verify, which reads the memory, can tell.
  std::optional<std::uint32_t> badCell;
  // Applied by whoever carries the answers (the radio-sim program); the library
  // itself answers at once.
  std::chrono::milliseconds answerDelay{0};
};

struct RadioConfig {
  int model = 712;  // 712 is the default model, which reports no model code
  int dspNumber = 1234;  // reported as four digits: 1234 stands for DSP version 1.234
  bool extendedMemory = false;  // '-' after "VER"; meant for model 734
  // The code reported after the DSP number; unset: none for model 712, the model otherwise.
  std::optional<int> reportModelCode;
  RadioFaults faults;
};

}  // namespace flash::sim
