// A byte as a serial port receives it, with the error marks the driver gives, and the two ways
// drivers hand those marks over: Linux marks each bad byte in the data itself (termios PARMRK),
// Windows reports error bits for everything read since the last ClearCommError.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint8_t kMarkFraming = 1;  // the stop bit was low
constexpr uint8_t kMarkParity = 2;   // the parity bit did not match
constexpr uint8_t kMarkBreak = 4;    // the line was low for a whole frame
constexpr uint8_t kMarkOverrun = 8;  // bytes were lost before this one
// Linux marks framing and parity errors the same way, so a marked byte carries both bits.
constexpr uint8_t kMarkFramingOrParity = kMarkFraming | kMarkParity;
// The marks that say the line was read with the wrong settings (or over a bad cable).
constexpr uint8_t kLineErrorMarks = kMarkFraming | kMarkParity | kMarkBreak;

struct ReceivedByte {
    uint8_t value = 0;
    uint8_t marks = 0;

    bool operator==(const ReceivedByte& other) const { return value == other.value && marks == other.marks; }
};

// Appends bytes as a Linux port with PARMRK (and neither IGNPAR nor ISTRIP) delivers them: a
// byte with a framing or parity error as 0xFF 0x00 byte, a break as 0xFF 0x00 0x00, a good 0xFF
// as 0xFF 0xFF.
void AppendParmrk(const ReceivedByte* bytes, size_t count, std::string* out);

// Reads what a port with PARMRK delivers back into marked bytes, byte by byte, so that a read can
// end anywhere inside a marking.
class ParmrkReader {
  public:
    // Takes one delivered byte; returns how many received bytes it completes (0 to 2) in out.
    // 0xFF 0x00 0x00 (a break, or a bad NUL byte: Linux gives both alike) becomes a NUL marked
    // as a break; 0xFF followed by anything but 0x00 or 0xFF (which PARMRK never produces) is
    // taken as a good 0xFF and that byte.
    int Feed(uint8_t byte, ReceivedByte out[2]);
    // A marking cut off at the end of the data (0 or 1 bytes): a lone 0xFF as a good 0xFF, 0xFF 0x00
    // as a bad byte whose value never came (0).
    int Flush(ReceivedByte out[1]);

  private:
    int state = 0;  // 0 plain, 1 after 0xFF, 2 after 0xFF 0x00
};

// The marks of Windows' ClearCommError error bits (CE_RXOVER, CE_OVERRUN, CE_RXPARITY,
// CE_FRAME, CE_BREAK); the other bits are not about received bytes.
uint8_t MarksFromCommErrors(unsigned long errors);
