// The termios settings of a serial line that carries binary frames, shared by the monitor's port
// and the simulated receiver's end of the line.
#pragma once

#include <termios.h>

#include <cstdint>

// Raw binary, 8 data bits, no parity, one stop bit, no flow control of either kind, receiver
// on, modem status lines ignored; a read returns as soon as one byte is there (VMIN 1, VTIME 0).
// The speed is left as it is.
void MakeRaw(termios* t);

// The termios speed of a baud rate. False for a rate that a termios driver cannot be asked for
// by name, which is refused like a rate that the driver does not support.
bool SpeedFor(std::uint32_t baud, speed_t* speed);
