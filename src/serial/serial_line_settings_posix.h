// The termios settings of a port's line settings (Linux backend), kept apart from the device so
// that the mapping can be checked on its own: pseudo-terminals ignore data bits and parity.
#pragma once

#include <termios.h>

class SerialPort;

// Fills settings (first read from the device) for raw reading with the port's baud rate, data
// bits, parity, stop bits and flow control. False when the baud rate has no termios constant:
// everything else is filled in, and the rate must then be set with SetOtherBaudRate.
bool MakeLineSettings(const SerialPort& port, termios* settings);

// Sets any positive baud rate on an open terminal (Linux termios2). False when the driver
// refuses it.
bool SetOtherBaudRate(int fd, int baud);
