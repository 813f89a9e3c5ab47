#pragma once

#include <termios.h>

#include <cstdint>

namespace flash {

// Raw mode: every byte value passes unchanged in both directions, no echo, no
// line editing, no signals, no CR/LF translation, no stripping of the 8th bit; a
// break or a bad byte arrives as 0 (the driver's error counters tell which).
// Input and output pacing are the flow control's business and stay as they are.
void MakeRaw(termios& attributes);

// The settings of a newly opened port: raw, 8 data bits, no parity, one stop
// bit, no flow control, at the speed the device has.
void ApplyOpeningDefaults(termios& attributes);

// Raw mode with the baud rate, data bits (5..8), parity (0 none, 1 odd, 2 even,
// 3 mark, 4 space) and stop bits (0 one, 1 one and a half, 2 two); parity
// checking on exactly when there is parity; XON 0x11 and XOFF 0x13. False, with
// nothing changed, for a value outside those.
bool ApplyLineFormat(termios& attributes, std::uint32_t baudRate, int dataBits, int parity,
                     int stopBits);

// The output baud rate the settings hold, or 0 when it is none of the rates
// ApplyLineFormat knows.
std::uint32_t OutputBaudRate(const termios& attributes);

// FlowNone, FlowHardware (RTS/CTS) or FlowSoftware (XON/XOFF pacing of input
// only). The port never acts on a received XON/XOFF: the radio's own 0x11 and
// 0x13 reach the reader as data. False, with nothing changed, for another kind.
bool ApplyFlowControl(termios& attributes, int kind);

}  // namespace flash
