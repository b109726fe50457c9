#include "detect/stream_scan.h"

#include <algorithm>
#include <cstring>

#include "codepage/printer_pages.h"
#include "serial/byte_source.h"
#include "serial/command_skip.h"
#include "serial/command_tables.h"

namespace {

constexpr uint8_t kNul = 0x00;
constexpr uint8_t kBel = 0x07;
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kVerticalTab = 0x0B;
constexpr uint8_t kFormFeed = 0x0C;
constexpr uint8_t kReturn = 0x0D;
constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;
constexpr uint8_t kDle = 0x10;
constexpr uint8_t kDc2 = 0x12;
constexpr uint8_t kDc4 = 0x14;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kEm = 0x19;
constexpr uint8_t kSub = 0x1A;
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFs = 0x1C;
constexpr uint8_t kGs = 0x1D;
constexpr uint8_t kRs = 0x1E;
constexpr uint8_t kDelete = 0x7F;
constexpr size_t kLongestTruncatedCommand = 1024;
constexpr size_t kWidestRasterLine = 255;

enum Kind { kUnknown, kImplausible, kKnown, kTypical };

// What a command is to a family, and what it does to the paper.
struct Verdict {
    Kind kind = kUnknown;
    bool cut = false;
    int feedLines = 0;
};

// The command as the walk sees it: the introducer, the command byte and the bytes after it.
struct Command {
    uint8_t introducer;
    int code;               // the command byte, -1 when the data ended before it
    const uint8_t* params;  // the bytes after the command byte
    size_t count;           // how many of them the command consumed
    int after;              // the byte right after the command, -1 at the end of the data

    int Param(size_t i) const { return i < count ? params[i] : -1; }
    uint32_t Count16(size_t i) const {
        return i + 1 < count ? static_cast<uint32_t>(params[i]) | (static_cast<uint32_t>(params[i + 1]) << 8)
                             : 0xFFFFFFFFu;
    }
};

bool In(int value, const char* set) {
    return value > 0 && value < 0x100 && std::strchr(set, value) != nullptr;
}

bool OneOf(int value, std::initializer_list<int> values) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// Star and ESC/POS take many one-byte parameters either as a value or as its ASCII digit.
int Digit(int value) {
    return (value >= '0' && value <= '9') ? value - '0' : value;
}

bool Switch01(int value) {
    return OneOf(value, {0, 1, '0', '1'});
}

bool Switch012(int value) {
    return OneOf(value, {0, 1, 2, '0', '1', '2'});
}

Kind Check(bool plausible, Kind kind = kKnown) {
    return plausible ? kind : kImplausible;
}

bool EscPosPageSelector(int n) {
    return (n >= 0 && n <= 8) || (n >= 11 && n <= 53) || (n >= 66 && n <= 75) || n == 82 || n == 254 ||
           n == 255;
}

// --- ESC/POS ---------------------------------------------------------------------------------

Verdict EscPosEsc(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case '@':
        case '2':
        case '3':
        case ' ':
        case '!':
        case 'J':
        case 'e':
        case '$':
        case '\\':
        case 'D':
        case 'L':
        case 'S':
        case 'W':
        case 'K':
        case '%':
        case '?':
        case '<':
        case 'u':
        case 'v':
        case '=':
        case '4':
        case 'B':
        case 'Z':
        case kFormFeed:
            v.kind = kKnown;
            break;
        case 'E':
            v.kind = Check(Switch01(p), kTypical);
            break;
        case 'G':
        case '{':
        case 'r':
        case 'U':
            v.kind = Check(Switch01(p));
            break;
        case '-':
        case 'V':
            v.kind = Check(Switch012(p));
            break;
        case 'a':
            v.kind = Check(Switch012(p), kTypical);
            break;
        case 'M':
            v.kind = Check(Switch012(p) || p == 97 || p == 98);
            break;
        case 'T':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 3);
            break;
        case 'R':
            v.kind = Check(p >= 0 && p <= 17);
            break;
        case 't':
            v.kind = Check(EscPosPageSelector(p), kTypical);
            break;
        case 'p':
            v.kind = Check(Switch01(p), kTypical);
            break;
        case 'c':
            v.kind = Check(In(p, "345"));
            break;
        case 'd':
            v.kind = kKnown;
            v.feedLines = p > 0 ? p : 0;
            break;
        case 'i':
        case 'm':
            v.kind = kTypical;
            v.cut = true;
            break;
        case '*':
            v.kind = Check(OneOf(p, {0, 1, 32, 33}) && c.Count16(1) <= 2400);
            break;
        case '&':
            v.kind = Check(OneOf(p, {2, 3}) && c.Param(1) >= 0x20 && c.Param(1) <= c.Param(2) &&
                           c.Param(2) <= 0x7E);
            break;
        case '(':
            v.kind = Check(In(p, "AY"));
            break;
        default:
            break;
    }
    return v;
}

Verdict EscPosGs(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case 'V':
            v.kind = Check(OneOf(p, {0, 1, '0', '1', 65, 66, 97, 98, 103, 104}), kTypical);
            v.cut = v.kind == kTypical;
            break;
        case '!':
        case 'h':
            v.kind = kTypical;
            break;
        case 'B':
            v.kind = Check(Switch01(p), kTypical);
            break;
        case 'k':
            v.kind = Check((p >= 0 && p <= 6) || (p >= 65 && p <= 79), kTypical);
            break;
        case 'w':
            v.kind = Check((p >= 1 && p <= 6) || (p >= 68 && p <= 76), kTypical);
            break;
        case 'H':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 3, kTypical);
            break;
        case 'v':
            v.kind = Check(p == '0' && Digit(c.Param(1)) >= 0 && Digit(c.Param(1)) <= 3 &&
                               c.Count16(2) <= 255 && c.Count16(4) <= 4095,
                           kTypical);
            break;
        case '(':
            v.kind = Check(In(p, "ACDEHKLMNPQkz") && c.Count16(1) <= 65535, kTypical);
            break;
        case '8':
            v.kind = Check(p == 'L');
            break;
        case '*':
            v.kind = Check(p >= 1 && c.Param(1) >= 1 && c.Param(1) <= 48);
            break;
        case 'L':
        case 'W':
        case 'a':
        case 'I':
        case 'b':
        case 'E':
        case 'T':
        case 'P':
        case '$':
        case '\\':
        case '^':
        case 'z':
        case 'g':
        case 'j':
        case ':':
        case 'c':
        case 'f':
        case '/':
            v.kind = kKnown;
            break;
        case 'r':
            v.kind = Check(OneOf(p, {1, 2, '1', '2'}));
            break;
        default:
            break;
    }
    return v;
}

Verdict EscPosFs(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case 'p':
            v.kind = Check(p >= 1 && Digit(c.Param(1)) >= 0 && Digit(c.Param(1)) <= 3, kTypical);
            break;
        case 'q':
            v.kind = Check(p >= 1, kTypical);
            break;
        case '&':
        case '.':
        case '!':
        case '-':
        case 'C':
        case 'W':
        case 'S':
        case '?':
        case '2':
        case '(':
        case 'g':
            v.kind = kKnown;
            break;
        default:
            break;
    }
    return v;
}

Verdict EscPosDle(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case 0x04:
            v.kind = Check((p >= 1 && p <= 4) || p == 7 || p == 8, kTypical);
            break;
        case 0x05:
            v.kind = Check(p >= 0 && p <= 2, kTypical);
            break;
        case 0x14:
            v.kind = Check(OneOf(p, {1, 2, 3, 7, 8}), kTypical);
            break;
        default:
            break;
    }
    return v;
}

// --- ESC/P -----------------------------------------------------------------------------------

// ESC/P's style switches take no parameter; ESC/POS's namesakes do (0 or 1). What follows tells
// them apart.
bool ParameterLike(int value) {
    return Switch01(value);
}

Verdict EscPEsc(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case 'F':
        case 'H':
        case '5':
        case 'P':
        case 'g':
        case '0':
        case '1':
        case kShiftIn:
        case kShiftOut:
            v.kind = kTypical;
            break;
        case 'E':
        case 'G':
        case '4':
            v.kind = ParameterLike(c.after) ? kKnown : kTypical;
            break;
        case 'M':
            v.kind = Switch012(c.after) ? kKnown : kTypical;
            break;
        case 'x':
            v.kind = Check(Switch01(p), kTypical);
            break;
        case 'W':
        case 'w':
            v.kind = Check(Switch01(p), kTypical);
            break;
        case 'K':
        case 'L':
        case 'Y':
        case 'Z':
            v.kind = Check(c.Count16(0) <= 3264, kTypical);
            break;
        case '*':
            v.kind =
                Check(OneOf(p, {0, 1, 2, 3, 4, 6, 32, 33, 38, 39, 40, 71, 72, 73}) && c.Count16(1) <= 3264,
                      kTypical);
            break;
        case '(':
            v.kind = Check(In(p, "CcVUGt-^ieBXS"));
            break;
        case 'k':
            v.kind = Check(p >= 0 && p <= 11, kTypical);
            break;
        case '-':
        case 'U':
        case 'S':
            v.kind = Check(Switch01(p));
            break;
        case 'R':
            v.kind = Check((p >= 0 && p <= 13) || p == 64);
            break;
        case 't':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 3);
            break;
        case '@':
        case '2':
        case '3':
        case 'A':
        case 'J':
        case 'C':
        case 'l':
        case 'Q':
        case 'N':
        case 'O':
        case '!':
        case 'T':
        case 'B':
        case 'D':
        case 'b':
        case 'j':
        case 'a':
        case '$':
        case '\\':
        case '8':
        case '9':
        case '<':
        case 'r':
        case 'q':
        case 'p':
        case '%':
        case '&':
        case ':':
        case '?':
        case '/':
        case 'e':
        case 'f':
        case 'c':
        case 'i':
        case 's':
        case 'X':
        case '+':
        case 'h':
        case 'm':
        case 'I':
        case '6':
        case '7':
        case '#':
        case '=':
        case '>':
        case 'd':
        case kEm:
            v.kind = kKnown;
            break;
        default:
            break;
    }
    return v;
}

// The receipt-printer commands the ESC/P emulation also skips: known, but not ESC/P's own.
Verdict EscPReceipt(const Command& c) {
    Verdict v;
    const char* listed = c.introducer == kGs ? "!BhLW^Vkv(8*" : "!$-DMSTWXakrtvx2pq";
    if (In(c.code, listed))
        v.kind = kKnown;
    if (c.introducer == kGs && c.code == 'V') {
        v.kind = Check(OneOf(c.Param(0), {0, 1, '0', '1', 65, 66, 97, 98, 103, 104}));
        v.cut = v.kind == kKnown;
    }
    return v;
}

// --- Star ------------------------------------------------------------------------------------

Verdict StarEsc(const Command& c) {
    Verdict v;
    int p = c.Param(0);
    switch (c.code) {
        case kGs:
            v.kind = In(p, "taAR=\x07\x03\x19\x1A#+cghyx*/P)(sS") ? kTypical : kUnknown;
            break;
        case kRs:
            v.kind = In(p, "FdraEcCLRAmi") ? kTypical : kUnknown;
            break;
        case kFs:
            v.kind = In(p, "pq") ? kTypical : kUnknown;
            break;
        case '*':
            v.kind = p == 'r' ? kTypical : kUnknown;
            break;
        case 'i':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 5 && Digit(c.Param(1)) >= 0 && Digit(c.Param(1)) <= 5,
                           kTypical);
            break;
        case kBel:
            v.kind = kTypical;
            break;
        case 'b':
            v.kind = Check(c.count <= 256, kTypical);
            break;
        case 'd':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 3);
            v.cut = v.kind == kKnown;
            break;
        case 'W':
        case 'h':
            v.kind = Check(Digit(p) >= 0 && Digit(p) <= 5);
            break;
        case '-':
        case '_':
            v.kind = Check(Switch01(p));
            break;
        case 'R':
            v.kind = Check((Digit(p) >= 0 && Digit(p) <= 14) || (p >= 'A' && p <= 'E') || p == 64);
            break;
        case 'a':
            v.kind = kKnown;
            v.feedLines = Digit(p) > 0 ? Digit(p) : 0;
            break;
        case '@':
        case 'E':
        case 'F':
        case '4':
        case '5':
        case 'M':
        case 'P':
        case ':':
        case 'g':
        case '0':
        case 'p':
        case 'q':
        case 'O':
        case kShiftOut:
        case kDc4:
        case 'z':
        case 'J':
        case 'I':
        case 'l':
        case 'Q':
        case '%':
        case '$':
        case 'N':
        case '/':
        case ' ':
        case 's':
        case 't':
        case 'C':
        case 'B':
        case 'D':
        case '&':
        case 'K':
        case 'L':
        case 'k':
        case 'X':
        case 'r':
        case '?':
        case 0x16:
        case kVerticalTab:
        case 0x06:
        case kFormFeed:
        case kShiftIn:
        case '#':
            v.kind = kKnown;
            break;
        default:
            break;
    }
    return v;
}

Verdict Classify(int emulation, const Command& c) {
    if (c.code < 0)
        return Verdict{};
    switch (emulation) {
        case kEmulationEscPos:
            switch (c.introducer) {
                case kEsc:
                    return EscPosEsc(c);
                case kGs:
                    return EscPosGs(c);
                case kFs:
                    return EscPosFs(c);
                default:
                    return EscPosDle(c);
            }
        case kEmulationEscP:
            return c.introducer == kEsc ? EscPEsc(c) : EscPReceipt(c);
        case kEmulationStar:
            return StarEsc(c);
        default:
            return Verdict{};
    }
}

// A control byte on its own: its weight for the family, or 0 with *stray false when it is
// harmless but says nothing.
double SingleControlWeight(int emulation, uint8_t c, bool* stray) {
    *stray = false;
    switch (emulation) {
        case kEmulationEscP:
            if (c == kShiftIn || c == kShiftOut || c == kDc2 || c == kDc4)
                return kKnownWeight;
            if (c == kBel || c == 0x08 || c == kVerticalTab || c == 0x11 || c == 0x13 || c == kCan ||
                c == kNul || c == kDelete)
                return 0;
            break;
        case kEmulationStar:
            if (c == kBel || c == kFs || c == kSub || c == kEm || c == kShiftOut || c == kDc4 ||
                c == kShiftIn || c == kDc2)
                return kKnownWeight;
            if (c == kCan || c == 0x04 || c == 0x05 || c == 0x17)
                return 0;
            break;
        case kEmulationEscPos:
            if (c == kCan)
                return 0;
            break;
        default:
            break;
    }
    *stray = true;
    return kStrayWeight;
}

double Weight(Kind kind) {
    switch (kind) {
        case kTypical:
            return kTypicalWeight;
        case kKnown:
            return kKnownWeight;
        case kImplausible:
            return kImplausibleWeight;
        default:
            return kUnknownWeight;
    }
}

void Effects(const CommandEffect& effect, size_t position, StreamObserver* observer, bool* raster) {
    const uint8_t* b = effect.bytes;
    int n = effect.count;
    switch (effect.action) {
        case CommandAction::kReset:
            *raster = false;
            if (observer != nullptr)
                observer->Reset(position);
            break;
        case CommandAction::kSelectEscPosPage:
            if (n >= 1 && observer != nullptr)
                observer->SelectPage(position, EscPosSelectedPage(b[0]), b[0]);
            break;
        case CommandAction::kSelectStarPage:
            if (n >= 1 && observer != nullptr)
                observer->SelectPage(position, StarSelectedPage(b[0]), b[0]);
            break;
        case CommandAction::kStarEncoding:
            if (n >= 5 && b[0] == 'U' && b[3] == 0x30 && (Digit(b[4]) == 0 || Digit(b[4]) == 1) &&
                observer != nullptr)
                observer->Utf8Text(position, Digit(b[4]) == 1);
            break;
        case CommandAction::kStarRaster:
            if (n >= 2 && b[0] == 'r' && (b[1] == 'A' || b[1] == 'B'))
                *raster = b[1] == 'A';
            break;
        case CommandAction::kAbsolutePosition:
        case CommandAction::kRelativePosition:
            if (observer != nullptr)
                observer->Gap(position);
            break;
        default:
            break;
    }
}

}  // namespace

double StreamScan::TextShare(double highWeight) const {
    if (bytes == 0)
        return 0;
    return (static_cast<double>(explained) + highWeight * static_cast<double>(highBytes)) /
           static_cast<double>(bytes);
}

StreamScan ScanStream(const uint8_t* data, size_t size, int emulation, StreamObserver* observer) {
    StreamScan scan;
    scan.emulation = emulation;
    scan.bytes = size;
    const Emulation* rules = EmulationFor(emulation);
    if (rules == nullptr || data == nullptr)
        return scan;
    bool raster = false;
    size_t i = 0;
    while (i < size) {
        uint8_t c = data[i];
        if (c >= 0x20 && c != kDelete) {
            if (raster && rules->rasterCommands != nullptr) {
                // Image data: bare "b" and "k" carry their own counts; nothing here is text.
                if (rules->rasterCommands->entries[c].rule != CommandRule::kNone) {
                    MemoryByteSource memory(data + i + 1, size - i - 1);
                    ByteSource source = memory.Source();
                    if (SkipCommandAfter(*rules->rasterCommands, c, source) < 0) {
                        if (size - i <= kLongestTruncatedCommand)
                            scan.bytes = i;
                        break;
                    }
                    // One raster line of a receipt printer is a few dozen bytes wide.
                    if (memory.position <= 2 + kWidestRasterLine) {
                        scan.explained += 1 + memory.position;
                        scan.commandBytes += 1 + memory.position;
                        ++scan.known;
                    } else {
                        scan.score += kImplausibleWeight;
                        ++scan.implausible;
                    }
                    i += 1 + memory.position;
                    continue;
                }
                ++scan.explained;
                ++scan.commandBytes;  // image data
                ++i;
                continue;
            }
            if (c >= 0x80)
                ++scan.highBytes;
            else
                ++scan.explained;
            if (observer != nullptr)
                observer->Text(i, c);
            ++i;
            continue;
        }
        if (c == kLineFeed || c == kReturn || c == kFormFeed || c == kTab) {
            ++scan.explained;
            if (observer != nullptr) {
                if (c == kLineFeed)
                    observer->LineEnd(i);
                else if (c == kFormFeed)
                    observer->FormFeed(i);
                else if (c == kTab)
                    observer->Gap(i);
            }
            scan.lineEnds += c == kLineFeed;
            ++i;
            continue;
        }
        ++scan.controls;
        const CommandTable* table = c < 0x20 ? rules->introduced[c] : nullptr;
        if (table == nullptr) {
            bool stray;
            double weight = SingleControlWeight(emulation, c, &stray);
            scan.score += weight;
            // A harmless control (weight 0: padding, bell) is no evidence of text either way.
            if (stray)
                ++scan.strays;
            else if (weight > 0)
                ++scan.explained;
            if (observer != nullptr) {
                if (emulation == kEmulationStar && c == kVerticalTab)
                    observer->LineEnd(i);
                else
                    observer->Gap(i);
            }
            ++i;
            continue;
        }
        MemoryByteSource memory(data + i + 1, size - i - 1);
        ByteSource source = memory.Source();
        CommandEffect effect;
        if (SkipCommand(*table, source, &effect) < 0) {
            // Cut off by the end of the data: a command the stream was in the middle of counts
            // neither for nor against; one that claims a long tail of it is not believed.
            if (size - i <= kLongestTruncatedCommand)
                scan.bytes = i;
            break;
        }
        size_t consumed = memory.position;
        Command command{c, consumed >= 1 ? data[i + 1] : -1, data + i + 2, consumed >= 1 ? consumed - 1 : 0,
                        i + 1 + consumed < size ? data[i + 1 + consumed] : -1};
        Verdict verdict = Classify(emulation, command);
        scan.score += Weight(verdict.kind);
        switch (verdict.kind) {
            case kTypical:
                ++scan.typical;
                break;
            case kKnown:
                ++scan.known;
                break;
            case kImplausible:
                ++scan.implausible;
                break;
            default:
                ++scan.unknown;
                break;
        }
        if (verdict.kind == kTypical || verdict.kind == kKnown) {
            scan.explained += 1 + consumed;
            scan.commandBytes += 1 + consumed;
        }
        Effects(effect, i, observer, &raster);
        if (observer != nullptr) {
            if (verdict.cut)
                observer->Cut(i, i + 1 + consumed);
            if (verdict.feedLines > 0)
                observer->Feed(i, verdict.feedLines);
        }
        i += 1 + consumed;
    }
    return scan;
}
