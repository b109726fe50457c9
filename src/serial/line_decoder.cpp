#include "serial/line_decoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "codepage/hebrew_setting.h"
#include "codepage/printer_pages.h"
#include "config/line_flags.h"
#include "serial/hebrew_shift.h"

namespace {
constexpr int kHorizontalTab = 0x09;
constexpr int kLineFeed = 0x0A;
constexpr int kFormFeed = 0x0C;
constexpr int kCarriageReturn = 0x0D;
constexpr int kShiftOut = 0x0E;
constexpr int kDeviceControl4 = 0x14;
constexpr int kSpace = 0x20;
constexpr int kFontA = 12;  // dots of a character in the receipt printers' fonts
constexpr int kFontB = 9;
constexpr int kDefaultTabEvery = 8;
constexpr int kMaxWidthMultiple = 8;

inline int Digit(int value) {
    return (value >= '0' && value <= '9') ? value - '0' : value;
}
}  // namespace

LineDecoder::LineDecoder() : rules(EmulationFor(kEmulationEscP)) {
    lineBuffer[0] = 0;
    patternText[0] = 0;
    idleClock = &CoarseMilliseconds;
    ResetPrinter();
    Configure();
}

int LineDecoder::SetEmulation(int code) {
    const Emulation* wanted = EmulationFor(code);
    if (wanted != nullptr) {
        emulation = code;
        rules = wanted;
        Configure();
    }
    return emulation;
}

int LineDecoder::SetPattern(int flags, const char* text) {
    patternFlags = flags;
    size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > kPatternTextSize - 1)
        length = kPatternTextSize - 1;
    if (length > 0)
        std::memcpy(patternText, text, length);
    patternText[length] = 0;
    return flags;
}

int LineDecoder::SetCodePages(int printerPage, int recorderPageNumber) {
    int result = 0;
    if (printerPage == 0 || printerPage == kNoConversion || FindCodePage(printerPage) != nullptr)
        channelPage = printerPage;
    else
        result = -1;
    if (IsWindowsCodePage(recorderPageNumber))
        recorderPage = recorderPageNumber;
    else
        result = -1;
    Configure();
    return result;
}

void LineDecoder::SetIdleEnd(int64_t milliseconds, int64_t (*clock)()) {
    idleMilliseconds = milliseconds > 0 ? milliseconds : 0;
    if (clock != nullptr)
        idleClock = clock;
    quietSince = idleClock();
    byteCame = false;
}

// Receipt printers convert from their page (PC437 as they ship) unless the channel names one;
// the others pass bytes on as they come unless the channel names a page.
void LineDecoder::Configure() {
    converting = channelPage != kNoConversion && (rules->receiptPrinter || channelPage != 0);
    converter.Set(channelPage > 0 ? channelPage : kDefaultPrinterCodePage, recorderPage);
    Refresh();
}

void LineDecoder::ResetPrinter() {
    fontWidth = kFontA;
    spacing = 0;
    widthMultiple = 1;
    tabCount = kMaxTabStops;
    for (int i = 0; i < kMaxTabStops; ++i)
        tabStops[i] = (i + 1) * kDefaultTabEvery;
    rasterMode = false;
    utf8 = false;
    utf8Reader.Reset();
    if (converting)
        converter.Set(channelPage > 0 ? channelPage : kDefaultPrinterCodePage, recorderPage);
    Refresh();
}

// Flag 1 for the first line of a receipt, 0 for the following ones.
int LineDecoder::NextLineFlags() {
    int flags = lineCount <= 0 ? kLineFlagFirst : 0;
    if (lineCount < INT_MAX)
        ++lineCount;
    return flags;
}

int LineDecoder::Deliver(int flags, const char** text, int* outFlags) {
    if (runCutBefore) {
        flags |= kLineFlagRunCutBefore;
        runCutBefore = false;
    }
    int length = lineLength;
    lineBuffer[length] = 0;
    lineLength = 0;
    spaceCount = 0;
    dots = 0;
    *text = lineBuffer;
    *outFlags = flags;
    return length;
}

int LineDecoder::DeliverReceiptEnd(const char** text, int* outFlags) {
    if (spaceCount == lineLength)
        lineLength = 0;
    lineCount = 0;
    return Deliver(kLineFlagEnd, text, outFlags);
}

int LineDecoder::DeliverDrawer(const char** text, int* outFlags) {
    static const char kNoText[] = "";
    --drawersDue;
    *text = kNoText;
    *outFlags = kLineFlagDrawer;
    return 0;
}

void LineDecoder::DrawerFired() {
    if (drawersDue < INT_MAX)
        ++drawersDue;
}

int LineDecoder::DeliverFull(const char** text, int* outFlags) {
    int start = CardRunTailStart(lineBuffer, lineLength);
    int run = lineLength - start;
    if (run == 0)
        return Deliver(NextLineFlags(), text, outFlags);
    if (start > 0 && run <= kMaxHeldRun) {
        std::memcpy(held, lineBuffer + start, static_cast<size_t>(run));
        heldLength = run;
        lineLength = start;
        return Deliver(NextLineFlags(), text, outFlags);
    }
    int length = Deliver(NextLineFlags() | kLineFlagRunCutAfter, text, outFlags);
    runCutBefore = true;
    return length;
}

int LineDecoder::PatientNext(void* context) {
    LineDecoder* self = static_cast<LineDecoder*>(context);
    for (;;) {
        int c = self->outer->Next();
        if (c != kNothingCame) {
            self->byteCame |= c >= 0;  // a long image keeps the receipt open
            return c;
        }
        if (self->IdleTimePassed()) {
            // Quiet for the idle time: the command ends here (whatever its rule still waits for),
            // and then the receipt. The interruption only cuts the command short.
            self->commandQuiet = true;
            return kSourceInterrupted;
        }
    }
}

// Called at each report that nothing came. The quiet is measured from the first report after the
// last byte, so no byte costs a clock reading; the end comes at most one report interval late.
bool LineDecoder::IdleTimePassed() {
    int64_t now = idleClock();
    if (byteCame) {
        byteCame = false;
        quietSince = now;
        return false;
    }
    return now - quietSince >= idleMilliseconds;
}

// A command by its table (command < 0: its command byte comes next; else it has been read).
int LineDecoder::ConsumeCommand(const CommandTable& table, ByteSource& source, CommandEffect* effect,
                                int command) {
    if (idleMilliseconds <= 0)
        return command < 0 ? SkipCommand(table, source, effect) : SkipCommandAfter(table, command, source);
    outer = &source;
    commandQuiet = false;
    ByteSource patient{&LineDecoder::PatientNext, this};
    int result =
        command < 0 ? SkipCommand(table, patient, effect) : SkipCommandAfter(table, command, patient);
    if (commandQuiet && result == kSourceInterrupted) {
        commandQuiet = false;
        if (effect != nullptr)
            effect->action = CommandAction::kNone;  // its bytes never all came
        return 0;
    }
    return result;
}

void LineDecoder::DropLine() {
    lineLength = 0;
    spaceCount = 0;
    dots = 0;
    heldLength = 0;
    carryLength = 0;
    runCutBefore = false;
    utf8Reader.Reset();
}

void LineDecoder::Refresh() {
    cellDots = (fontWidth + spacing) * widthMultiple;
    plainLimit = (utf8 || rasterMode) ? 0x20 : converting ? 0x80 : 0x100;
}

void LineDecoder::Put(const char* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        if (lineLength < kLineCapacity - 1) {
            lineBuffer[lineLength++] = bytes[i];
            if (bytes[i] == kSpace)
                ++spaceCount;
        } else if (carryLength < static_cast<int>(sizeof carry)) {
            carry[carryLength++] = bytes[i];
        }
    }
}

void LineDecoder::AppendCharacter(int c) {
    char text[kMaxConvertedBytes];
    if (c & kHebrewLetter) {
        text[0] = static_cast<char>(HebrewTextByte(c));
        Put(text, 1);
    } else if (utf8) {
        uint32_t codes[2];
        int count = utf8Reader.Feed(static_cast<uint8_t>(c), codes);
        for (int i = 0; i < count; ++i) {
            Put(text, FromUnicode(codes[i], recorderPage, text));
            if (i > 0)
                dots += CellDots();
        }
        if (count == 0)
            return;  // the character is not complete yet
    } else if (converting) {
        int length;
        const char* converted = converter.Convert(static_cast<uint8_t>(c), &length);
        Put(converted, length);
    } else {
        text[0] = static_cast<char>(c & 0xFF);
        Put(text, 1);
    }
    dots += CellDots();
}

// A move to the right becomes the spaces of as many characters of the current width as fill it,
// at least one; a move to the left only moves the head.
void LineDecoder::MoveTo(int64_t target) {
    if (target > dots) {
        int64_t cell = CellDots();
        int64_t spaces = std::max<int64_t>(1, (target - dots + cell / 2) / cell);
        spaces = std::min<int64_t>(spaces, kLineCapacity - 1 - lineLength);
        for (int64_t i = 0; i < spaces; ++i) {
            lineBuffer[lineLength++] = kSpace;
            ++spaceCount;
        }
    }
    dots = std::max<int64_t>(0, target);
}

void LineDecoder::Tab() {
    for (int i = 0; i < tabCount; ++i) {
        int64_t stop = static_cast<int64_t>(tabStops[i]) * CellDots();
        if (stop > dots) {
            MoveTo(stop);
            return;
        }
    }
    // No stop to the right: the printer ignores the tab.
}

void LineDecoder::ApplyEffect(const CommandEffect& effect) {
    const uint8_t* b = effect.bytes;
    int n = effect.count;
    switch (effect.action) {
        case CommandAction::kNone:
            break;
        case CommandAction::kReset:
            ResetPrinter();
            break;
        case CommandAction::kSelectEscPosPage:
            if (n >= 1 && converting && !utf8)
                converter.Set(EscPosSelectedPage(b[0]), recorderPage);
            break;
        case CommandAction::kSelectStarPage:
            if (n >= 1 && converting)
                converter.Set(StarSelectedPage(b[0]), recorderPage);
            break;
        case CommandAction::kAbsolutePosition:
            if (n >= 2)
                MoveTo(b[0] + 256 * b[1]);
            break;
        case CommandAction::kRelativePosition:
            if (n >= 2)
                MoveTo(dots + static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8))));
            break;
        case CommandAction::kTabStops:
            // Ascending column numbers up to the NUL; the list ends at the first that is not.
            tabCount = 0;
            for (int i = 0; i < n && b[i] != 0 && tabCount < kMaxTabStops; ++i) {
                if (tabCount > 0 && b[i] <= tabStops[tabCount - 1])
                    break;
                tabStops[tabCount++] = b[i];
            }
            break;
        case CommandAction::kPrintMode:
            if (n >= 1) {
                fontWidth = (b[0] & 0x01) ? kFontB : kFontA;
                widthMultiple = (b[0] & 0x20) ? 2 : 1;
            }
            break;
        case CommandAction::kFontSelect:
            if (n >= 1)
                fontWidth = (b[0] == 0 || b[0] == '0') ? kFontA : kFontB;
            break;
        case CommandAction::kCharacterSize:
            if (n >= 1)
                widthMultiple = ((b[0] >> 4) & 7) + 1;
            break;
        case CommandAction::kCharacterSpacing:
            if (n >= 1)
                spacing = b[0];
            break;
        case CommandAction::kStarWidth:
            if (n >= 1)
                widthMultiple = std::min(kMaxWidthMultiple, Digit(b[0]) + 1);
            break;
        case CommandAction::kStarExpansion:
            if (n >= 2)
                widthMultiple = std::min(kMaxWidthMultiple, Digit(b[1]) + 1);
            break;
        case CommandAction::kDoubleWidthOn:
            widthMultiple = 2;
            break;
        case CommandAction::kDoubleWidthOff:
            widthMultiple = 1;
            break;
        case CommandAction::kStarPitch12:
            fontWidth = 12;
            break;
        case CommandAction::kStarPitch15:
            fontWidth = 15;
            break;
        case CommandAction::kStarPitch16:
            fontWidth = 16;
            break;
        case CommandAction::kStarFont:
            if (n >= 1)
                fontWidth = Digit(b[0]) == 1 ? kFontB : kFontA;
            break;
        case CommandAction::kStarRaster:
            if (n >= 2 && b[0] == 'r' && (b[1] == 'A' || b[1] == 'B'))
                rasterMode = b[1] == 'A';
            break;
        case CommandAction::kCut:
            // Full or partial, at once or after a feed; other values the printer ignores.
            if (n >= 1) {
                switch (b[0]) {
                    case 0:
                    case 1:
                    case '0':
                    case '1':
                    case 0x41:
                    case 0x42:
                    case 0x61:
                    case 0x62:
                    case 0x67:
                    case 0x68:
                        cutCame = true;
                        break;
                    default:
                        break;
                }
            }
            break;
        case CommandAction::kBareCut:
            cutCame = true;
            break;
        case CommandAction::kStarCut:
            if (n >= 1 && Digit(b[0]) >= 0 && Digit(b[0]) <= 3)
                cutCame = true;
            break;
        // The drawer fires for a valid pin (a timing the read missed still counts as sent).
        case CommandAction::kDrawerKick:
            if (n >= 1 && (Digit(b[0]) == 0 || Digit(b[0]) == 1))
                DrawerFired();
            break;
        case CommandAction::kDrawerPulse:
            if (n >= 1 && b[0] == 1 && (n < 2 || b[1] <= 1) && (n < 3 || (b[2] >= 1 && b[2] <= 8)))
                DrawerFired();
            break;
        case CommandAction::kStarEncoding:
            // "U" pL pH, then function 0x30 and m: 1 UTF-8, 0 code-page bytes.
            if (n >= 5 && b[0] == 'U' && b[3] == 0x30 && (Digit(b[4]) == 0 || Digit(b[4]) == 1)) {
                utf8 = Digit(b[4]) == 1;
                utf8Reader.Reset();
            }
            break;
    }
    Refresh();
}

int LineDecoder::ReadLine(ByteSource& source, const char** text, int* flags) {
    const Emulation& current = *rules;
    if (lineLength == 0 && drawersDue > 0)
        return DeliverDrawer(text, flags);  // the line that held the command has been delivered
    if (lineLength == 0 && (heldLength > 0 || carryLength > 0)) {
        int run = heldLength;
        int pending = carryLength;
        heldLength = 0;
        carryLength = 0;
        Put(held, run);
        Put(carry, pending);
    }
    for (;;) {
        int c = source.Next();
        if (c >= 0x20 && c < 0x100 && (c < plainLimit || (plainLimit == 0x80 && converter.Single(c)))) {
            // The common case, kept short: a byte that stands for itself or for one other byte.
            char out = c < plainLimit ? static_cast<char>(c) : converter.First(c);
            lineBuffer[lineLength++] = out;
            spaceCount += out == kSpace;
            byteCame = true;
            dots += cellDots;
            if (lineLength >= kLineCapacity - 1)
                return DeliverFull(text, flags);
            continue;
        }
        if (c == kSourceStopped)
            return -1;
        if (c == kSourceInterrupted) {
            DropLine();
            if (drawersDue > 0)
                return DeliverDrawer(text, flags);
            continue;
        }
        if (c < 0) {
            // Nothing came: an open receipt ends once the line has been quiet long enough.
            if (idleMilliseconds > 0 && IdleTimePassed() && (lineCount > 0 || lineLength > spaceCount)) {
                if (spaceCount == lineLength)
                    lineLength = 0;
                int endFlags = (lineCount <= 0 && lineLength > 0 ? kLineFlagFirst : 0) | kLineFlagEnd;
                lineCount = 0;
                return Deliver(endFlags, text, flags);
            }
            continue;
        }
        byteCame = true;

        if (c < 0x20) {
            if (c == kLineFeed || (current.lineBreakControls & (1u << c))) {
                if (lineLength == 0) {
                    runCutBefore = false;  // a run that a full line cut ends here
                    continue;              // empty lines are never delivered
                }
                if (spaceCount == lineLength) {  // nothing but spaces
                    lineLength = 0;
                    spaceCount = 0;
                    dots = 0;
                    runCutBefore = false;
                    if (drawersDue > 0)
                        return DeliverDrawer(text, flags);
                    continue;
                }
                lineBuffer[lineLength] = 0;
                if (patternFlags == kPatternFooter && std::strstr(lineBuffer, patternText) != nullptr) {
                    lineCount = 0;
                    return Deliver(kLineFlagEnd, text, flags);
                }
                return Deliver(NextLineFlags(), text, flags);
            }
            if (c == kFormFeed) {
                // Repeated form feeds end a receipt once; in footer mode only the footer does.
                if (!PageEndEndsReceipt())
                    continue;
                return DeliverReceiptEnd(text, flags);
            }
            if (c == kCarriageReturn)
                continue;
            if (const CommandTable* table = current.introduced[c]) {
                CommandEffect effect;
                int skipped = ConsumeCommand(*table, source, &effect, -1);
                if (skipped == kSourceInterrupted) {
                    DropLine();
                    if (drawersDue > 0)
                        return DeliverDrawer(text, flags);
                } else if (skipped < 0) {
                    return -1;
                } else {
                    ApplyEffect(effect);
                    if (drawersDue > 0 && lineLength == 0)
                        return DeliverDrawer(text, flags);
                    if (cutCame) {
                        // A cut ends the receipt as a form feed does, where the channel wants it.
                        cutCame = false;
                        if (cutEndsReceipt && PageEndEndsReceipt())
                            return DeliverReceiptEnd(text, flags);
                    }
                    if (lineLength >= kLineCapacity - 1)
                        return DeliverFull(text, flags);
                }
                continue;
            }
            if (current.receiptPrinter && c == kHorizontalTab) {
                Tab();
                if (lineLength >= kLineCapacity - 1)
                    return DeliverFull(text, flags);
                continue;
            }
            if (current.drawerControls & (1u << c)) {
                DrawerFired();
                if (lineLength == 0)
                    return DeliverDrawer(text, flags);
                continue;
            }
            if (current.cancelControls & (1u << c)) {
                DropLine();
                if (drawersDue > 0)
                    return DeliverDrawer(text, flags);
                continue;
            }
            if (current.widthControls && (c == kShiftOut || c == kDeviceControl4)) {
                widthMultiple = c == kShiftOut ? 2 : 1;
                Refresh();
                continue;
            }
            if (current.droppedControls & (1u << c))
                continue;
        }

        if (rasterMode && current.rasterCommands != nullptr) {
            // Image data: bare "b" and "k" carry their own counts, everything else is dropped.
            if (current.rasterCommands->entries[c & 0xFF].rule != CommandRule::kNone) {
                int skipped = ConsumeCommand(*current.rasterCommands, source, nullptr, c);
                if (skipped == kSourceInterrupted)
                    DropLine();
                else if (skipped < 0)
                    return -1;
            }
            continue;
        }

        AppendCharacter(c);
        if (lineLength >= kLineCapacity - 1)
            return DeliverFull(text, flags);
    }
}
