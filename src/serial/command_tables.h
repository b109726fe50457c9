// Printer command tables. Each emulation names the control bytes that introduce commands (ESC,
// FS, GS, and DLE for receipt printers; ESC alone for Star) and gives a table per introducer: for
// every command byte, the rule by which its parameters and data are read, and for the few
// commands that change what the text looks like (code page, print position, character width)
// the effect the line loop applies. The rules are carried out by command_skip.h.
#pragma once

#include <cstdint>

constexpr int kEmulationEscP = 0;
constexpr int kEmulationTextOnly = 1;
constexpr int kEmulationEscPos = 2;
constexpr int kEmulationStar = 3;

// How the bytes after a command byte are consumed. Counts are read by the low eight bits of
// their bytes; a nothing-came result in a parameter counts as one consumed byte of value 0 and
// matches no selector. A stop anywhere ends the command.
enum class CommandRule : uint8_t {
    kNone,                // nothing more
    kFixed,               // `count` bytes
    kMoreIfZero,          // n; when n is 0, one more byte
    kMoreUnlessOne,       // n; when n is neither 1 nor 0x31, one more byte
    kMoreIfSevenOrEight,  // n; when n is 7 or 8, one more byte
    kRealTimeRequest,     // fn; fn 7: one byte, fn 8: seven bytes, any other: two bytes
    kBitImage,            // nL nH, then nL + 256 nH bytes
    kBitImageWithMode,    // m nL nH, then (nL + 256 nH) x bytes per column of mode m
    kToNul,               // bytes up to and including the first NUL
    kChannelToNul,        // c; when c is below 8, bytes up to and including the first NUL
    kDotMatrixUserChars,  // n c1 c2, then per character a0 a1 a2 and 3 x a1 bytes
    kDotMatrixExtended,   // "X" 3 0 {0,1} {0,1,2} and one more, each step ending at a mismatch
    kReceiptUserChars,    // y c1 c2, then per character x and y x x bytes
    kLengthPrefixed,      // fn pL pH, then pL + 256 pH bytes
    kCut,                 // m; when m is 0x41, 0x42, 0x61, 0x62, 0x67 or 0x68, one more byte
    kBarcode,             // m; m below 0x41: bytes up to the first NUL (m itself included when
                          // `count` is 1); otherwise n and n bytes
    kRasterImage,         // "0" m xL xH yL yH, then (xL + 256 xH) x (yL + 256 yH) bytes
    kLargeGraphics,       // "L" p1 p2 p3 p4, then the 32-bit count of bytes
    kDownloadImage,       // x y, then x x y x 8 bytes
    kStoredImages,        // n, then n times xL xH yL yH and (xL + 256 xH) x (yL + 256 yH) x 8 bytes
    kDoubleByteChar,      // c1 (0xFE), c2 (0xA1 to 0xFE), then 72 bytes
    kUserMemory,          // "1" m a1 a2 a3 a4 nL nH and nL + 256 nH bytes, or "2" and the same 7
    kScaledImage,         // nL nH, then `count` x (nL + 256 nH) bytes
    kSubTable,            // a second command byte, read by the table numbered `count`
    kTwoDimensionalCode,  // m n k, then dL dH and dL + 256 dH bytes
    kStarUserChars,       // c1 c2 n; when c2 is 1 or "1", 48 more bytes
    kStarBarcode,         // n1 n2 n3 n4, then bytes up to and including the first RS (0x1E)
    kToLineFeedNul,       // bytes up to and including the first LF NUL pair
    kStarRaster,          // "r" and a letter; most letters then take digits up to a NUL
    kStarMacro,           // m, then m times: t nL nH and nL + 256 nH bytes
    kStarQrCode,          // "S" x n | "D" 1 m nL nH data | "D" 2 a (m nL nH data) x a | "P" | "I"
    kStarPdf417,          // "S" 0 n p1 p2 | "S" x n | "D" nL nH data | "P" | "I"
    kStarMarks,           // "0" and three digits nnn, then nnn bytes | "1" and 6 | "2" and 5 | "W" | "C"
    kStarAutoLogo,        // "W" | "C" | 1 2 5 6 and one byte | 3 4 and nL nH data
    kStarPageMode,        // 0 1 6 7 8 | 2 and one byte | 3 and 8 | 4 5 and 2
    kStarStorage,      // "O" and 9 | "P" | "R" z n1 n2 n3 data | "I" z records up to FF | "U" ... | "T" and 3
    kStarRasterImage,  // m xL xH yL yH n, then (xL + 256 xH) x (yL + 256 yH) bytes
};

// What a command does to the text, for the line loop to apply (the command's bytes after the
// command byte are in CommandEffect::bytes).
enum class CommandAction : uint8_t {
    kNone,
    kReset,             // ESC @: the printer's initial state
    kSelectEscPosPage,  // ESC t n
    kSelectStarPage,    // ESC GS t n
    kAbsolutePosition,  // ESC $ nL nH, ESC GS A n1 n2: dots from the line start
    kRelativePosition,  // ESC \ nL nH, ESC GS R n1 n2: signed dots from here
    kTabStops,          // ESC D n1 ... NUL: tab stops in characters
    kPrintMode,         // ESC ! n: font B (bit 0), double width (bit 5)
    kFontSelect,        // ESC M n: font A (0) or B
    kCharacterSize,     // GS ! n: width multiple in the high nibble
    kCharacterSpacing,  // ESC SP n: dots to the right of every character
    kStarWidth,         // ESC W n: width multiple n + 1
    kStarExpansion,     // ESC i n1 n2: height n1 + 1, width n2 + 1
    kDoubleWidthOn,     // ESC SO (Star)
    kDoubleWidthOff,    // ESC DC4 (Star)
    kStarPitch12,       // ESC M (Star)
    kStarPitch15,       // ESC P (Star)
    kStarPitch16,       // ESC : (Star)
    kStarFont,          // ESC RS F n: font A (0) or B (1)
    kStarRaster,        // ESC * r A enters raster mode, ESC * r B leaves it
    kStarEncoding,      // ESC GS ) U pL pH 30 m: text is UTF-8 (m 1) or code-page bytes (m 0)
    // Where the paper is cut (the line loop may end the receipt there).
    kCut,      // GS V m [n] (ESC/POS): m 0, 1, "0", "1", 0x41, 0x42, 0x61, 0x62, 0x67 or 0x68
    kBareCut,  // ESC i, ESC m (ESC/POS): a partial cut, no parameter
    kStarCut,  // ESC d n (Star): n 0 to 3 or "0" to "3"
    // Where the cash drawer is fired (the line loop reports it).
    kDrawerKick,   // ESC p m t1 t2 (ESC/POS): m 0, 1, "0" or "1"
    kDrawerPulse,  // DLE DC4 fn m t (ESC/POS): only fn 1, with m 0 or 1 and t 1 to 8
};

struct CommandEntry {
    CommandRule rule;
    uint8_t count;
    CommandAction action;
};

struct CommandTable {
    CommandEntry entries[256];
};

struct Emulation {
    const char* name;
    // The command table of each control byte that introduces a command; null for the others.
    const CommandTable* introduced[0x20];
    // Control bytes that are dropped without reaching the text (bit n for byte n).
    uint32_t droppedControls;
    // Control bytes that end the line as LF does, and that drop the line so far (Star VT, CAN).
    uint32_t lineBreakControls;
    uint32_t cancelControls;
    // Control bytes that fire the cash drawer (Star BEL, FS, SUB, EM).
    uint32_t drawerControls;
    // A receipt printer: the stream selects code pages (converted to the recorder's page from
    // PC437 on unless the channel names another), tabs and print positions become spaces.
    bool receiptPrinter;
    // Star: SO and DC4 switch double width on and off.
    bool widthControls;
    // In raster mode (Star ESC * r A to ESC * r B) these bare bytes start commands and every
    // other byte is image data, not text; null when the emulation has no raster mode.
    const CommandTable* rasterCommands;
};

// The emulation with this code, or nullptr for an unknown code.
const Emulation* EmulationFor(int code);

// The table that a kSubTable rule names by its count, or nullptr for an unknown number.
const CommandTable* SubTable(int number);
