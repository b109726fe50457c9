#include "serial/received_byte.h"

namespace {

constexpr uint8_t kEscapeByte = 0xFF;

// ClearCommError's error bits (winbase.h), written out so that the mapping builds everywhere.
constexpr unsigned long kCeRxOver = 0x0001;
constexpr unsigned long kCeOverrun = 0x0002;
constexpr unsigned long kCeRxParity = 0x0004;
constexpr unsigned long kCeFrame = 0x0008;
constexpr unsigned long kCeBreak = 0x0010;

}  // namespace

void AppendParmrk(const ReceivedByte* bytes, size_t count, std::string* out) {
    for (size_t i = 0; i < count; ++i) {
        const ReceivedByte& b = bytes[i];
        if (b.marks & kMarkBreak) {
            out->append("\xFF\x00\x00", 3);
        } else if (b.marks & kMarkFramingOrParity) {
            out->push_back(static_cast<char>(kEscapeByte));
            out->push_back(0);
            out->push_back(static_cast<char>(b.value));
        } else if (b.value == kEscapeByte) {
            out->append("\xFF\xFF", 2);
        } else {
            out->push_back(static_cast<char>(b.value));
        }
    }
}

int ParmrkReader::Feed(uint8_t byte, ReceivedByte out[2]) {
    switch (state) {
        case 0:
            if (byte == kEscapeByte) {
                state = 1;
                return 0;
            }
            out[0] = ReceivedByte{byte, 0};
            return 1;
        case 1:
            if (byte == kEscapeByte) {
                state = 0;
                out[0] = ReceivedByte{kEscapeByte, 0};
                return 1;
            }
            if (byte == 0) {
                state = 2;
                return 0;
            }
            state = 0;
            out[0] = ReceivedByte{kEscapeByte, 0};
            out[1] = ReceivedByte{byte, 0};
            return 2;
        default:
            state = 0;
            out[0] = byte == 0 ? ReceivedByte{0, kMarkBreak} : ReceivedByte{byte, kMarkFramingOrParity};
            return 1;
    }
}

int ParmrkReader::Flush(ReceivedByte out[1]) {
    int pending = state;
    state = 0;
    if (pending == 0)
        return 0;
    // 0xFF 0x00 without its third byte: the error mark lost its byte; 0xFF alone: a good 0xFF.
    out[0] = pending == 1 ? ReceivedByte{kEscapeByte, 0} : ReceivedByte{0, kMarkFramingOrParity};
    return 1;
}

uint8_t MarksFromCommErrors(unsigned long errors) {
    uint8_t marks = 0;
    if (errors & (kCeRxOver | kCeOverrun))
        marks |= kMarkOverrun;
    if (errors & kCeRxParity)
        marks |= kMarkParity;
    if (errors & kCeFrame)
        marks |= kMarkFraming;
    if (errors & kCeBreak)
        marks |= kMarkBreak;
    return marks;
}
