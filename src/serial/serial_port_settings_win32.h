// The Win32 time-outs and line settings of a port (Windows backend), kept apart from the device
// so that they can be checked on their own.
#pragma once

#include <windows.h>

class SerialPort;

// A one-byte read completes as soon as a byte is there, or after 1000 ms with none; the write
// multiplier is 19200 / baud rate (the port's baud rate must not be 0).
void MakePortTimeouts(const SerialPort& port, COMMTIMEOUTS* timeouts);

// Sets the fields the port's settings decide on a DCB read from the device; every other field
// (output flow control by CTS or DSR among them) keeps the device's value.
void MakePortState(const SerialPort& port, DCB* dcb);
