// Printer command tables and the one engine that consumes a command by its table.
//
// Each emulation names the control bytes that introduce commands (ESC, FS, GS, and DLE for
// receipt printers) and gives a table per introducer: for every command byte, the rule by which
// its parameters and data are read. The line loop hands an introducer to SkipCommand with the
// right table; nothing else in the decoder knows any command.
#pragma once

#include <cstdint>

#include "serial/byte_source.h"

constexpr int kEmulationEscP = 0;
constexpr int kEmulationTextOnly = 1;
constexpr int kEmulationEscPos = 2;

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
};

struct CommandEntry {
    CommandRule rule;
    uint8_t count;
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
};

// The emulation with this code, or nullptr for an unknown code.
const Emulation* EmulationFor(int code);

// Consumes one command whose introducer has just been read: the command byte and whatever its
// rule prescribes. Returns 0 when it is consumed, -1 when the source reported a stop, and
// kSourceInterrupted when the stream broke off inside it.
int SkipCommand(const CommandTable& table, ByteSource& source);
