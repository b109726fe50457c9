#include "detect/line_settings.h"

#include <bitset>
#include <cstdio>

namespace {

// The dialog's lists (src/ui/port_settings_model.cpp); a test keeps the two the same.
constexpr int kOfferedRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
constexpr int kOfferedDataBits[] = {5, 6, 7, 8};
constexpr int kParityCount = 5;
constexpr int kStopBitsCount = 3;

}  // namespace

bool ValidLineSettings(const LineSettings& settings) {
    return settings.baudRate > 0 && settings.dataBits >= 5 && settings.dataBits <= 8 &&
           settings.parity >= kParityNone && settings.parity <= kParitySpace &&
           settings.stopBits >= kStopOne && settings.stopBits <= kStopTwo;
}

std::vector<LineSettings> OfferedLineSettings() {
    std::vector<LineSettings> all;
    for (int rate : kOfferedRates) {
        for (int bits : kOfferedDataBits) {
            for (int parity = 0; parity < kParityCount; ++parity) {
                for (int stop = 0; stop < kStopBitsCount; ++stop)
                    all.push_back(LineSettings{rate, bits, parity, stop});
            }
        }
    }
    return all;
}

int FormatLineSettings(const LineSettings& settings, char* out, int size) {
    static const char kParityLetters[] = "NOEMS";
    static const char* const kStopTexts[] = {"1", "1.5", "2"};
    if (out == nullptr || size <= 0)
        return 0;
    char parity = settings.parity >= 0 && settings.parity <= 4 ? kParityLetters[settings.parity] : '?';
    const char* stop = settings.stopBits >= 0 && settings.stopBits <= 2 ? kStopTexts[settings.stopBits] : "?";
    int length = std::snprintf(out, static_cast<size_t>(size), "%d %d%c%s", settings.baudRate,
                               settings.dataBits, parity, stop);
    if (length < 0) {
        out[0] = 0;
        return 0;
    }
    return length < size ? length : size - 1;
}

int ParityBit(int parity, unsigned value, int dataBits) {
    unsigned mask = dataBits >= 8 ? 0xFFu : (1u << dataBits) - 1u;
    int ones = static_cast<int>(std::bitset<8>(value & mask).count());
    switch (parity) {
        case kParityOdd:
            return (ones % 2 == 0) ? 1 : 0;
        case kParityEven:
            return ones % 2;
        case kParityMark:
            return 1;
        case kParitySpace:
            return 0;
        default:
            return -1;
    }
}
