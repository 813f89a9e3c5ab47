#pragma once

#include "sim/radio_sim_options.h"
#include "sim/simulated_radio.h"

namespace flash::sim {

// Each runs the radio until a byte can be read from stopFd (written by the signal
// handler), then answers 0; or answers 1 after printing why the link failed.
int RunSerialRadio(const RadioSimOptions& options, SimulatedRadio& radio, int stopFd);
int RunUdpRadio(const RadioSimOptions& options, SimulatedRadio& radio, int stopFd);

// Prints the radio's log on standard error when verbose, then empties it so that a
// long session does not grow.
void ReportExchanges(SimulatedRadio& radio, bool verbose);

}  // namespace flash::sim
