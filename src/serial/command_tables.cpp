#include "serial/command_tables.h"

#include <initializer_list>

namespace {

// ---------------------------------------------------------------------------------------------
// Building the tables

struct Row {
    const char* commandBytes;  // every byte of this text gets the rule
    int length;                // how many bytes of it (the texts may hold a NUL-free 0x19 etc.)
    CommandRule rule;
    uint8_t count;
};

template <int N>
constexpr Row Rows(const char (&bytes)[N], CommandRule rule, uint8_t count = 0) {
    return Row{bytes, N - 1, rule, count};
}

constexpr CommandTable MakeTable(std::initializer_list<Row> rows) {
    CommandTable table{};
    for (int i = 0; i < 256; ++i)
        table.entries[i] = CommandEntry{CommandRule::kNone, 0};
    for (const Row& row : rows) {
        for (int i = 0; i < row.length; ++i) {
            table.entries[static_cast<unsigned char>(row.commandBytes[i])] =
                CommandEntry{row.rule, row.count};
        }
    }
    return table;
}

using R = CommandRule;

// Dot-matrix escape commands, as the classic ESC/P printers take them.
constexpr CommandTable kDotMatrixEsc = MakeTable({
    Rows("\x19 !%-/3AJNQRSUWadklpqrwx", R::kFixed, 1),
    Rows("$?\\", R::kFixed, 2),
    Rows(":", R::kFixed, 3),
    Rows("C", R::kMoreIfZero),
    Rows("t", R::kMoreUnlessOne),
    Rows("KLYZ", R::kBitImage),
    Rows("*", R::kBitImageWithMode),
    Rows("&", R::kDotMatrixUserChars),
    Rows("(", R::kDotMatrixExtended),
    Rows("BD", R::kToNul),
    Rows("b", R::kChannelToNul),
});

// The receipt-printer GS and FS commands that the ESC/P emulation has always skipped, with the
// real lengths of the paper cut and the barcode, and the image and code commands whose binary
// payloads would otherwise leak into the text.
constexpr CommandTable kDotMatrixGs = MakeTable({
    Rows("!Bh", R::kFixed, 1),
    Rows("LW", R::kFixed, 2),
    Rows("^", R::kFixed, 3),
    Rows("V", R::kCut),
    Rows("k", R::kBarcode, 1),
    Rows("v", R::kRasterImage),
    Rows("(", R::kLengthPrefixed),
    Rows("8", R::kLargeGraphics),
    Rows("*", R::kDownloadImage),
});

constexpr CommandTable kDotMatrixFs = MakeTable({
    Rows("!$-DMSTWXakrtvx", R::kFixed, 1),
    Rows("2", R::kDoubleByteChar),
    Rows("p", R::kFixed, 2),
    Rows("q", R::kStoredImages),
});

// Today's thermal receipt printers (ESC/POS).
constexpr CommandTable kReceiptDle = MakeTable({
    Rows("\x04", R::kMoreIfSevenOrEight),
    Rows("\x05", R::kFixed, 1),
    Rows("\x14", R::kRealTimeRequest),
});

constexpr CommandTable kReceiptEsc = MakeTable({
    Rows(" !%-3=?EGJKMRTUVadertu{", R::kFixed, 1),
    Rows("$\\c", R::kFixed, 2),
    Rows("p", R::kFixed, 3),
    Rows("W", R::kFixed, 8),
    Rows("D", R::kToNul),
    Rows("*", R::kBitImageWithMode),
    Rows("&", R::kReceiptUserChars),
    Rows("(", R::kLengthPrefixed),
});

constexpr CommandTable kReceiptFs = MakeTable({
    Rows("!-CW", R::kFixed, 1),
    Rows("S?p", R::kFixed, 2),
    Rows("2", R::kDoubleByteChar),
    Rows("q", R::kStoredImages),
    Rows("(", R::kLengthPrefixed),
    Rows("g", R::kUserMemory),
});

constexpr CommandTable kReceiptGs = MakeTable({
    Rows("!/BEHITabfhjrw", R::kFixed, 1),
    Rows("$LPW\\", R::kFixed, 2),
    Rows("^z", R::kFixed, 3),
    Rows("g", R::kFixed, 4),
    Rows("V", R::kCut),
    Rows("k", R::kBarcode, 0),
    Rows("*", R::kDownloadImage),
    Rows("v", R::kRasterImage),
    Rows("(", R::kLengthPrefixed),
    Rows("8", R::kLargeGraphics),
});

constexpr int kDle = 0x10;
constexpr int kCan = 0x18;
constexpr int kEsc = 0x1B;
constexpr int kFs = 0x1C;
constexpr int kGs = 0x1D;

struct Introducer {
    int byte;
    const CommandTable* table;
};

constexpr Emulation MakeEmulation(const char* name, std::initializer_list<Introducer> introducers,
                                  uint32_t dropped) {
    Emulation emulation{name, {}, dropped};
    for (int i = 0; i < 0x20; ++i)
        emulation.introduced[i] = nullptr;
    for (const Introducer& introducer : introducers)
        emulation.introduced[introducer.byte] = introducer.table;
    return emulation;
}

constexpr Emulation kEmulations[] = {
    MakeEmulation("ESC/P", {{kEsc, &kDotMatrixEsc}, {kFs, &kDotMatrixFs}, {kGs, &kDotMatrixGs}}, 0),
    MakeEmulation("Text Only", {}, 0),
    MakeEmulation("ESC/POS",
                  {{kDle, &kReceiptDle}, {kEsc, &kReceiptEsc}, {kFs, &kReceiptFs}, {kGs, &kReceiptGs}},
                  1u << kCan),
};

// ---------------------------------------------------------------------------------------------
// Consuming a command

constexpr int kStop = -1;

// Reads one parameter into *value. A nothing-came result is a consumed byte of value -1.
// Returns kStop on a stop, else 0.
inline int Param(ByteSource& source, int* value) {
    int c = source.Next();
    if (c <= kSourceStopped) {
        source.end = c;
        return kStop;
    }
    *value = c < 0 ? -1 : c;
    return 0;
}

// A parameter's value as a count: its low eight bits, 0 for a byte that never came.
inline uint64_t Count(int value) {
    return value < 0 ? 0u : static_cast<uint64_t>(value & 0xFF);
}

int Skip(ByteSource& source, uint64_t count) {
    for (uint64_t i = 0; i < count; ++i) {
        int c = source.Next();
        if (c <= kSourceStopped) {
            source.end = c;
            return kStop;
        }
    }
    return 0;
}

// Reads `bytes` count bytes, low byte first, into *count.
int ReadCount(ByteSource& source, int bytes, uint64_t* count) {
    *count = 0;
    for (int i = 0; i < bytes; ++i) {
        int value;
        if (Param(source, &value) != 0)
            return kStop;
        *count |= Count(value) << (8 * i);
    }
    return 0;
}

int SkipToNul(ByteSource& source) {
    for (;;) {
        int c = source.Next();
        if (c <= kSourceStopped) {
            source.end = c;
            return kStop;
        }
        if (c == 0)
            return 0;
    }
}

// Bytes per column of a bit-image mode: 8-dot modes one, 24-dot modes three, 48-dot modes six.
uint64_t BytesPerColumn(int mode) {
    switch (mode) {
        case 32:
        case 33:
        case 38:
        case 39:
        case 40:
            return 3;
        case 71:
        case 72:
        case 73:
            return 6;
        default:
            return 1;
    }
}

// Each step reads one byte and goes on only while the byte is one that the command allows.
int SkipDotMatrixExtended(ByteSource& source) {
    int b;
    if (Param(source, &b) != 0)
        return kStop;
    if (b != 'X')
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    if (b != 3 && b != 0x33)
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    if (b != 0 && b != 0x30)
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    if (b != 0 && b != 0x30 && b != 1 && b != 0x31)
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    if (b >= 0x30)
        b -= 0x30;
    if (b < 0 || b > 2)
        return 0;
    return Skip(source, 1);
}

int SkipDotMatrixUserChars(ByteSource& source) {
    int n, c1, c2;
    if (Param(source, &n) != 0)
        return kStop;
    if (n != 0)
        return 0;
    if (Param(source, &c1) != 0)
        return kStop;
    if (Count(c1) < 0x20 || Count(c1) > 0x80)
        return 0;
    if (Param(source, &c2) != 0)
        return kStop;
    if (Count(c2) < 0x20 || Count(c2) > 0x80)
        return 0;
    int characters = static_cast<int>(Count(c2)) - static_cast<int>(Count(c1)) + 1;
    for (int i = 0; i < characters; ++i) {
        int a0, a1, a2;
        if (Param(source, &a0) != 0 || Param(source, &a1) != 0 || Param(source, &a2) != 0)
            return kStop;
        if (Skip(source, 3 * Count(a1)) != 0)
            return kStop;
    }
    return 0;
}

int SkipReceiptUserChars(ByteSource& source) {
    int y, c1, c2;
    if (Param(source, &y) != 0 || Param(source, &c1) != 0 || Param(source, &c2) != 0)
        return kStop;
    int characters = static_cast<int>(Count(c2)) - static_cast<int>(Count(c1)) + 1;
    for (int i = 0; i < characters; ++i) {
        int x;
        if (Param(source, &x) != 0)
            return kStop;
        if (Skip(source, Count(y) * Count(x)) != 0)
            return kStop;
    }
    return 0;
}

int SkipBarcode(ByteSource& source, bool selectorEndsAtNul) {
    int m;
    if (Param(source, &m) != 0)
        return kStop;
    if (Count(m) >= 0x41) {
        int n;
        if (Param(source, &n) != 0)
            return kStop;
        return Skip(source, Count(n));
    }
    if (selectorEndsAtNul && m == 0)
        return 0;
    return SkipToNul(source);
}

int SkipStoredImages(ByteSource& source) {
    int n;
    if (Param(source, &n) != 0)
        return kStop;
    for (uint64_t i = 0; i < Count(n); ++i) {
        uint64_t x, y;
        if (ReadCount(source, 2, &x) != 0 || ReadCount(source, 2, &y) != 0)
            return kStop;
        if (Skip(source, x * y * 8) != 0)
            return kStop;
    }
    return 0;
}

int SkipUserMemory(ByteSource& source) {
    int function;
    if (Param(source, &function) != 0)
        return kStop;
    if (function != '1' && function != '2')
        return 0;
    uint64_t k;
    if (Skip(source, 5) != 0 || ReadCount(source, 2, &k) != 0)
        return kStop;  // m a1 a2 a3 a4, nL nH
    return function == '1' ? Skip(source, k) : 0;
}

int SkipByRule(const CommandEntry& entry, ByteSource& source) {
    int b;
    uint64_t count, x, y;
    switch (entry.rule) {
        case R::kNone:
            return 0;
        case R::kFixed:
            return Skip(source, entry.count);
        case R::kMoreIfZero:
            if (Param(source, &b) != 0)
                return kStop;
            return b == 0 ? Skip(source, 1) : 0;
        case R::kMoreUnlessOne:
            if (Param(source, &b) != 0)
                return kStop;
            return (b == 1 || b == 0x31) ? 0 : Skip(source, 1);
        case R::kMoreIfSevenOrEight:
            if (Param(source, &b) != 0)
                return kStop;
            return (b == 7 || b == 8) ? Skip(source, 1) : 0;
        case R::kRealTimeRequest:
            if (Param(source, &b) != 0)
                return kStop;
            return Skip(source, b == 7 ? 1 : b == 8 ? 7 : 2);
        case R::kBitImage:
            if (ReadCount(source, 2, &count) != 0)
                return kStop;
            return Skip(source, count);
        case R::kBitImageWithMode:
            if (Param(source, &b) != 0 || ReadCount(source, 2, &count) != 0)
                return kStop;
            return Skip(source, count * BytesPerColumn(b));
        case R::kToNul:
            return SkipToNul(source);
        case R::kChannelToNul:
            if (Param(source, &b) != 0)
                return kStop;
            return Count(b) >= 8 ? 0 : SkipToNul(source);
        case R::kDotMatrixUserChars:
            return SkipDotMatrixUserChars(source);
        case R::kDotMatrixExtended:
            return SkipDotMatrixExtended(source);
        case R::kReceiptUserChars:
            return SkipReceiptUserChars(source);
        case R::kLengthPrefixed:
            if (Param(source, &b) != 0 || ReadCount(source, 2, &count) != 0)
                return kStop;
            return Skip(source, count);
        case R::kCut:
            if (Param(source, &b) != 0)
                return kStop;
            switch (b) {
                case 0x41:
                case 0x42:
                case 0x61:
                case 0x62:
                case 0x67:
                case 0x68:
                    return Skip(source, 1);
                default:
                    return 0;
            }
        case R::kBarcode:
            return SkipBarcode(source, entry.count == 1);
        case R::kRasterImage:
            if (Param(source, &b) != 0)
                return kStop;
            if (b != '0')
                return 0;
            if (Skip(source, 1) != 0 || ReadCount(source, 2, &x) != 0 || ReadCount(source, 2, &y) != 0)
                return kStop;
            return Skip(source, x * y);
        case R::kLargeGraphics:
            if (Param(source, &b) != 0)
                return kStop;
            if (b != 'L')
                return 0;
            if (ReadCount(source, 4, &count) != 0)
                return kStop;
            return Skip(source, count);
        case R::kDownloadImage:
            if (ReadCount(source, 1, &x) != 0 || ReadCount(source, 1, &y) != 0)
                return kStop;
            return Skip(source, x * y * 8);
        case R::kStoredImages:
            return SkipStoredImages(source);
        case R::kDoubleByteChar:
            if (Param(source, &b) != 0)
                return kStop;
            if (Count(b) != 0xFE || b < 0)
                return 0;
            if (Param(source, &b) != 0)
                return kStop;
            if (b < 0 || Count(b) < 0xA1 || Count(b) > 0xFE)
                return 0;
            return Skip(source, 72);
        case R::kUserMemory:
            return SkipUserMemory(source);
    }
    return 0;
}

}  // namespace

const Emulation* EmulationFor(int code) {
    if (code < 0 || code >= static_cast<int>(sizeof kEmulations / sizeof kEmulations[0]))
        return nullptr;
    return &kEmulations[code];
}

int SkipCommand(const CommandTable& table, ByteSource& source) {
    int command = source.Next();
    if (command == kSourceInterrupted)
        return kSourceInterrupted;
    if (command <= kSourceStopped)
        return kStop;
    if (command < 0)
        return 0;  // nothing came: the command ends here
    source.end = 0;
    if (SkipByRule(table.entries[command & 0xFF], source) == 0)
        return 0;
    return source.end == kSourceInterrupted ? kSourceInterrupted : kStop;
}
