#include "serial/command_skip.h"

namespace {

using R = CommandRule;

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

// Bytes up to the first byte of value `last` and that byte.
int SkipThrough(ByteSource& source, int last) {
    for (;;) {
        int c = source.Next();
        if (c <= kSourceStopped) {
            source.end = c;
            return kStop;
        }
        if (c >= 0 && (c & 0xFF) == last)
            return 0;
    }
}

int SkipToLineFeedNul(ByteSource& source) {
    bool afterLineFeed = false;
    for (;;) {
        int c = source.Next();
        if (c <= kSourceStopped) {
            source.end = c;
            return kStop;
        }
        if (afterLineFeed && c == 0)
            return 0;
        afterLineFeed = c == 0x0A;
    }
}

// Star takes most one-byte parameters either as the value or as its ASCII digit.
inline int Digit(int value) {
    return (value >= '0' && value <= '9') ? value - '0' : value;
}

// Skips `records` times: a count of countBytes bytes and that many bytes, each record led by
// `lead` bytes that are skipped first.
int SkipCountedRecords(ByteSource& source, uint64_t records, int lead, int countBytes) {
    for (uint64_t i = 0; i < records; ++i) {
        uint64_t k;
        if (Skip(source, static_cast<uint64_t>(lead)) != 0 || ReadCount(source, countBytes, &k) != 0 ||
            Skip(source, k) != 0)
            return kStop;
    }
    return 0;
}

// ESC * r and its letter; digits up to a NUL for most letters, and for "N" the printer also
// discards as many bytes as the digits say.
int SkipStarRaster(ByteSource& source) {
    int r, letter;
    if (Param(source, &r) != 0)
        return kStop;
    if (r != 'r')
        return 0;
    if (Param(source, &letter) != 0)
        return kStop;
    switch (letter) {
        case 'D':
        case 'E':
        case 'F':
        case 'P':
        case 'Q':
        case 'T':
        case 'K':
        case 'Y':
        case 'm':
        case 'V':
        case 'e':
        case 's':
            return SkipToNul(source);
        case 'N': {
            uint64_t discard = 0;
            for (;;) {
                int c;
                if (Param(source, &c) != 0)
                    return kStop;
                if (c == 0)
                    break;
                if (c >= '0' && c <= '9' && discard < 100000000)
                    discard = discard * 10 + static_cast<uint64_t>(c - '0');
            }
            return Skip(source, discard);
        }
        default:
            return 0;
    }
}

int SkipStarQrCode(ByteSource& source) {
    int function, b;
    if (Param(source, &function) != 0)
        return kStop;
    if (function == 'S')
        return Skip(source, 2);
    if (function != 'D')
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    if (Digit(b) == 1)
        return SkipCountedRecords(source, 1, 1, 2);
    if (Digit(b) != 2)
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    return SkipCountedRecords(source, Count(b), 1, 2);
}

int SkipStarPdf417(ByteSource& source) {
    int function, b;
    if (Param(source, &function) != 0)
        return kStop;
    if (function == 'D')
        return SkipCountedRecords(source, 1, 0, 2);
    if (function != 'S')
        return 0;
    if (Param(source, &b) != 0)
        return kStop;
    return Skip(source, Digit(b) == 0 ? 3 : 1);
}

int SkipStarMarks(ByteSource& source) {
    int function;
    if (Param(source, &function) != 0)
        return kStop;
    switch (Digit(function)) {
        case 0: {
            uint64_t n = 0;
            for (int i = 0; i < 3; ++i) {
                int d;
                if (Param(source, &d) != 0)
                    return kStop;
                n = n * 10 + ((d >= '0' && d <= '9') ? static_cast<uint64_t>(d - '0') : 0);
            }
            return Skip(source, n);
        }
        case 1:
            return Skip(source, 6);
        case 2:
            return Skip(source, 5);
        default:
            return 0;
    }
}

int SkipStarAutoLogo(ByteSource& source) {
    int function;
    if (Param(source, &function) != 0)
        return kStop;
    switch (Digit(function)) {
        case 1:
        case 2:
        case 5:
        case 6:
            return Skip(source, 1);
        case 3:
        case 4:
            return SkipCountedRecords(source, 1, 0, 2);
        default:
            return 0;
    }
}

int SkipStarPageMode(ByteSource& source) {
    int function;
    if (Param(source, &function) != 0)
        return kStop;
    switch (Digit(function)) {
        case 2:
            return Skip(source, 1);
        case 3:
            return Skip(source, 8);
        case 4:
        case 5:
            return Skip(source, 2);
        default:
            return 0;
    }
}

int SkipStarStorage(ByteSource& source) {
    int function, b;
    if (Param(source, &function) != 0)
        return kStop;
    switch (function) {
        case 'O':
            return Skip(source, 9);
        case 'R':
            return SkipCountedRecords(source, 1, 1, 3);
        case 'I':
            // z, then nine-byte records up to the FF that no record begins with.
            if (Skip(source, 1) != 0)
                return kStop;
            for (;;) {
                if (Param(source, &b) != 0)
                    return kStop;
                if (b == 0x0C)
                    return 0;
                if (Skip(source, 8) != 0)
                    return kStop;
            }
        case 'U':
            if (Skip(source, 1) != 0 || Param(source, &b) != 0)
                return kStop;
            return SkipCountedRecords(source, Count(b), 0, 3);
        case 'T':
            return Skip(source, 3);
        default:
            return 0;
    }
}

int SkipByRule(const CommandEntry& entry, ByteSource& source, CommandEffect* effect) {
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
        case R::kScaledImage:
            if (ReadCount(source, 2, &count) != 0)
                return kStop;
            return Skip(source, count * entry.count);
        case R::kSubTable: {
            const CommandTable* table = SubTable(entry.count);
            if (table == nullptr)
                return 0;
            int result = SkipCommand(*table, source, effect);
            if (result == 0)
                return 0;
            source.end = result == kSourceInterrupted ? kSourceInterrupted : kSourceStopped;
            return kStop;
        }
        case R::kTwoDimensionalCode:
            return SkipCountedRecords(source, 1, 3, 2);
        case R::kStarUserChars: {
            int c2;
            if (Skip(source, 1) != 0 || Param(source, &c2) != 0 || Skip(source, 1) != 0)
                return kStop;
            return Digit(c2) == 1 ? Skip(source, 48) : 0;
        }
        case R::kStarBarcode:
            if (Skip(source, 4) != 0)
                return kStop;
            return SkipThrough(source, 0x1E);
        case R::kToLineFeedNul:
            return SkipToLineFeedNul(source);
        case R::kStarRaster:
            return SkipStarRaster(source);
        case R::kStarMacro:
            if (Param(source, &b) != 0)
                return kStop;
            return SkipCountedRecords(source, Count(b), 1, 2);
        case R::kStarQrCode:
            return SkipStarQrCode(source);
        case R::kStarPdf417:
            return SkipStarPdf417(source);
        case R::kStarMarks:
            return SkipStarMarks(source);
        case R::kStarAutoLogo:
            return SkipStarAutoLogo(source);
        case R::kStarPageMode:
            return SkipStarPageMode(source);
        case R::kStarStorage:
            return SkipStarStorage(source);
        case R::kStarRasterImage:
            if (Skip(source, 1) != 0 || ReadCount(source, 2, &x) != 0 || ReadCount(source, 2, &y) != 0 ||
                Skip(source, 1) != 0)
                return kStop;
            return Skip(source, x * y);
    }
    return 0;
}

// Keeps the bytes a command with an effect reads, for the line loop to apply.
struct RecordingSource {
    ByteSource* inner;
    CommandEffect* effect;

    static int Next(void* context) {
        RecordingSource* self = static_cast<RecordingSource*>(context);
        int c = self->inner->Next();
        if (c >= 0 && self->effect->count < kEffectBytes)
            self->effect->bytes[self->effect->count++] = static_cast<uint8_t>(c & 0xFF);
        return c;
    }
};

int SkipEntry(const CommandEntry& entry, ByteSource& source, CommandEffect* effect) {
    source.end = 0;
    int result;
    if (effect != nullptr && entry.action != CommandAction::kNone) {
        effect->action = entry.action;
        effect->count = 0;
        RecordingSource recorder{&source, effect};
        ByteSource recording{&RecordingSource::Next, &recorder};
        result = SkipByRule(entry, recording, effect);
        source.end = recording.end;
    } else {
        result = SkipByRule(entry, source, effect);
    }
    if (result == 0)
        return 0;
    return source.end == kSourceInterrupted ? kSourceInterrupted : kStop;
}

}  // namespace

int SkipCommand(const CommandTable& table, ByteSource& source, CommandEffect* effect) {
    int command = source.Next();
    if (command == kSourceInterrupted)
        return kSourceInterrupted;
    if (command <= kSourceStopped)
        return kStop;
    if (command < 0)
        return 0;  // nothing came: the command ends here
    return SkipEntry(table.entries[command & 0xFF], source, effect);
}

int SkipCommandAfter(const CommandTable& table, int command, ByteSource& source) {
    return SkipEntry(table.entries[command & 0xFF], source, nullptr);
}
