#include "serial/command_tables.h"

#include <initializer_list>

namespace {

struct Row {
    const char* commandBytes;  // every byte of this text gets the rule
    int length;                // how many bytes of it (the texts may hold a NUL-free 0x19 etc.)
    CommandRule rule;
    uint8_t count;
    CommandAction action;
};

template <int N>
constexpr Row Rows(const char (&bytes)[N], CommandRule rule, uint8_t count = 0,
                   CommandAction action = CommandAction::kNone) {
    return Row{bytes, N - 1, rule, count, action};
}

constexpr CommandTable MakeTable(std::initializer_list<Row> rows) {
    CommandTable table{};
    for (int i = 0; i < 256; ++i)
        table.entries[i] = CommandEntry{CommandRule::kNone, 0, CommandAction::kNone};
    // A later row overrides an earlier one for the same byte.
    for (const Row& row : rows) {
        for (int i = 0; i < row.length; ++i) {
            table.entries[static_cast<unsigned char>(row.commandBytes[i])] =
                CommandEntry{row.rule, row.count, row.action};
        }
    }
    return table;
}

using R = CommandRule;
using A = CommandAction;

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
    Rows("\x14", R::kRealTimeRequest, 0, A::kDrawerPulse),
});

// Besides the standard rows, the vendor commands that tills commonly send to compatible
// printers: italic (ESC 4 n), the buzzer (ESC B n t) and the two-dimensional codes (ESC Z).
constexpr CommandTable kReceiptEsc = MakeTable({
    Rows(" !%-3=?EGJKMRTUVadertu{4", R::kFixed, 1),
    Rows("$\\cB", R::kFixed, 2),
    Rows("p", R::kFixed, 3),
    Rows("W", R::kFixed, 8),
    Rows("D", R::kToNul, 0, A::kTabStops),
    Rows("*", R::kBitImageWithMode),
    Rows("&", R::kReceiptUserChars),
    Rows("(", R::kLengthPrefixed),
    Rows("Z", R::kTwoDimensionalCode),
    Rows("@", R::kNone, 0, A::kReset),
    Rows("t", R::kFixed, 1, A::kSelectEscPosPage),
    Rows("$", R::kFixed, 2, A::kAbsolutePosition),
    Rows("\\", R::kFixed, 2, A::kRelativePosition),
    Rows("!", R::kFixed, 1, A::kPrintMode),
    Rows("M", R::kFixed, 1, A::kFontSelect),
    Rows(" ", R::kFixed, 1, A::kCharacterSpacing),
    Rows("p", R::kFixed, 3, A::kDrawerKick),
    Rows("im", R::kNone, 0, A::kBareCut),
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
    Rows("!", R::kFixed, 1, A::kCharacterSize),
    Rows("V", R::kCut, 0, A::kCut),
});

// Star Line Mode with the StarPRNT additions. ESC is the only introducer; ESC GS, ESC RS and
// ESC FS lead to tables of their own. Rows that Star's references leave unconfirmed are built
// as written there: ESC N n, ESC GS s I with z 1, ESC GS s T, ESC GS S with m above 1, and
// ESC RS R, A, m and i.
enum StarSubTable : uint8_t { kStarGsTable, kStarRsTable, kStarFsTable };

constexpr CommandTable kStarEsc = MakeTable({
    Rows("@EF45MP:g0pq\x0E\x14O", R::kNone),
    Rows("R/ Wh-_azJIlQ%d$N", R::kFixed, 1),
    Rows("ist\x07", R::kFixed, 2),
    Rows("C", R::kMoreIfZero),
    Rows("BD", R::kToNul),
    Rows("&", R::kStarUserChars),
    Rows("KL", R::kScaledImage, 1),
    Rows("k", R::kScaledImage, 24),
    Rows("X", R::kScaledImage, 3),
    Rows("b", R::kStarBarcode),
    Rows("r", R::kFixed, 74),
    Rows("?\x16\x0B", R::kFixed, 2),
    Rows("\x06\x0C\x0F", R::kFixed, 1),
    Rows("#", R::kToLineFeedNul),
    Rows("*", R::kStarRaster, 0, A::kStarRaster),
    Rows("\x1D", R::kSubTable, kStarGsTable),
    Rows("\x1E", R::kSubTable, kStarRsTable),
    Rows("\x1C", R::kSubTable, kStarFsTable),
    Rows("@", R::kNone, 0, A::kReset),
    Rows("M", R::kNone, 0, A::kStarPitch12),
    Rows("P", R::kNone, 0, A::kStarPitch15),
    Rows(":", R::kNone, 0, A::kStarPitch16),
    Rows("\x0E", R::kNone, 0, A::kDoubleWidthOn),
    Rows("\x14", R::kNone, 0, A::kDoubleWidthOff),
    Rows(" ", R::kFixed, 1, A::kCharacterSpacing),
    Rows("W", R::kFixed, 1, A::kStarWidth),
    Rows("i", R::kFixed, 2, A::kStarExpansion),
    Rows("D", R::kToNul, 0, A::kTabStops),
    Rows("d", R::kFixed, 1, A::kStarCut),
});

constexpr CommandTable kStarEscGs = MakeTable({
    Rows("ta", R::kFixed, 1),
    Rows("AR", R::kFixed, 2),
    Rows("=", R::kScaledImage, 1),
    Rows("\x07\x03", R::kFixed, 3),
    Rows("\x19\x1A", R::kFixed, 4),
    Rows("#", R::kFixed, 8),
    Rows("+", R::kStarMacro),
    Rows("c", R::kFixed, 2),
    Rows("g", R::kFixed, 3),
    Rows("h", R::kFixed, 4),
    Rows("y", R::kStarQrCode),
    Rows("x", R::kStarPdf417),
    Rows("*", R::kStarMarks),
    Rows("/", R::kStarAutoLogo),
    Rows("P", R::kStarPageMode),
    Rows(")(", R::kLengthPrefixed),
    Rows("s", R::kStarStorage),
    Rows("S", R::kStarRasterImage),
    Rows("t", R::kFixed, 1, A::kSelectStarPage),
    Rows("A", R::kFixed, 2, A::kAbsolutePosition),
    Rows("R", R::kFixed, 2, A::kRelativePosition),
    Rows(")", R::kLengthPrefixed, 0, A::kStarEncoding),
});

constexpr CommandTable kStarEscRs = MakeTable({
    Rows("FdraEcCLRAmi", R::kFixed, 1),
    Rows("F", R::kFixed, 1, A::kStarFont),
});

constexpr CommandTable kStarEscFs = MakeTable({
    Rows("p", R::kFixed, 2),
    Rows("q", R::kStoredImages),
});

// Raster mode: bare "b" and "k" carry n1 n2 and n1 + 256 n2 bytes of image data.
constexpr CommandTable kStarRasterData = MakeTable({
    Rows("bk", R::kBitImage),
});

constexpr const CommandTable* kSubTables[] = {&kStarEscGs, &kStarEscRs, &kStarEscFs};

constexpr int kDle = 0x10;
constexpr int kCan = 0x18;
constexpr int kEsc = 0x1B;
constexpr int kFs = 0x1C;
constexpr int kGs = 0x1D;

constexpr int kBel = 0x07;
constexpr int kVt = 0x0B;
constexpr int kEm = 0x19;
constexpr int kSub = 0x1A;
constexpr uint32_t kEveryControl = 0xFFFFFFFFu;  // printers discard the control bytes they do not know

struct Introducer {
    int byte;
    const CommandTable* table;
};

struct Behaviour {
    uint32_t dropped = 0;
    uint32_t lineBreaks = 0;
    uint32_t cancels = 0;
    uint32_t drawers = 0;
    bool receiptPrinter = false;
    bool widthControls = false;
    const CommandTable* raster = nullptr;
};

constexpr Emulation MakeEmulation(const char* name, std::initializer_list<Introducer> introducers,
                                  Behaviour behaviour) {
    Emulation emulation{name,
                        {},
                        behaviour.dropped,
                        behaviour.lineBreaks,
                        behaviour.cancels,
                        behaviour.drawers,
                        behaviour.receiptPrinter,
                        behaviour.widthControls,
                        behaviour.raster};
    for (int i = 0; i < 0x20; ++i)
        emulation.introduced[i] = nullptr;
    for (const Introducer& introducer : introducers)
        emulation.introduced[introducer.byte] = introducer.table;
    return emulation;
}

constexpr Behaviour ReceiptPrinter() {
    Behaviour b;
    b.dropped = kEveryControl;
    b.receiptPrinter = true;
    return b;
}

constexpr Behaviour StarPrinter() {
    Behaviour b = ReceiptPrinter();
    b.lineBreaks = 1u << kVt;
    b.cancels = 1u << kCan;
    b.drawers = (1u << kBel) | (1u << kFs) | (1u << kSub) | (1u << kEm);
    b.widthControls = true;
    b.raster = &kStarRasterData;
    return b;
}

constexpr Emulation kEmulations[] = {
    MakeEmulation("ESC/P", {{kEsc, &kDotMatrixEsc}, {kFs, &kDotMatrixFs}, {kGs, &kDotMatrixGs}}, Behaviour{}),
    MakeEmulation("Text Only", {}, Behaviour{}),
    MakeEmulation("ESC/POS",
                  {{kDle, &kReceiptDle}, {kEsc, &kReceiptEsc}, {kFs, &kReceiptFs}, {kGs, &kReceiptGs}},
                  ReceiptPrinter()),
    // FS is no introducer here: with BEL, SUB and EM it fires the drawer.
    MakeEmulation("Star", {{kEsc, &kStarEsc}}, StarPrinter()),
};

}  // namespace

const Emulation* EmulationFor(int code) {
    if (code < 0 || code >= static_cast<int>(sizeof kEmulations / sizeof kEmulations[0]))
        return nullptr;
    return &kEmulations[code];
}

const CommandTable* SubTable(int number) {
    if (number < 0 || number >= static_cast<int>(sizeof kSubTables / sizeof kSubTables[0]))
        return nullptr;
    return kSubTables[number];
}
