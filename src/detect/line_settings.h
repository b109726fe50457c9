// A serial line's settings in the codes the settings file stores (parity 0 none, 1 odd, 2 even,
// 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two), and the settings the port settings
// dialog offers, which are what detection tries.
#pragma once

#include <vector>

constexpr int kParityNone = 0;
constexpr int kParityOdd = 1;
constexpr int kParityEven = 2;
constexpr int kParityMark = 3;
constexpr int kParitySpace = 4;

constexpr int kStopOne = 0;
constexpr int kStopOneAndHalf = 1;
constexpr int kStopTwo = 2;

struct LineSettings {
    int baudRate = 9600;
    int dataBits = 8;
    int parity = kParityNone;
    int stopBits = kStopOne;

    bool operator==(const LineSettings& other) const {
        return baudRate == other.baudRate && dataBits == other.dataBits && parity == other.parity &&
               stopBits == other.stopBits;
    }
    bool operator!=(const LineSettings& other) const { return !(*this == other); }
};

// Whether the settings are ones a UART can take: an offered rate is not required, but a rate
// above 0, 5 to 8 data bits and known codes are.
bool ValidLineSettings(const LineSettings& settings);

// Every combination of the rates, data bits, parities and stop bits the dialog offers, rates in
// the dialog's order (1200 to 115200), then data bits, parity and stop bits.
std::vector<LineSettings> OfferedLineSettings();

// "9600 8N1", "19200 7E1", "1200 8N1.5": rate, data bits, parity letter (N O E M S), stop bits.
// Writes at most size bytes, NUL-terminated; returns the length.
int FormatLineSettings(const LineSettings& settings, char* out, int size);

// The parity bit a sender appends to these data bits (0 or 1), or -1 when there is none.
int ParityBit(int parity, unsigned value, int dataBits);
