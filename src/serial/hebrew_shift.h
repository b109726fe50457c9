// The recorder's "pos_hebrew" setting: with it at 1, the Hebrew letters of the DOS code page
// (0x80 to 0x9A, and the rest of that block up to 0x9F) move to their places in the Windows
// Hebrew code page (0xE0 to 0xFF). Every other byte, 0xA0 to 0xFF included, stays as it is:
// moving those too would push them past 0xFF.
#pragma once

inline int ApplyHebrewShift(int byte, int posHebrew) {
    return (posHebrew == 1 && byte >= 0x80 && byte <= 0x9F) ? byte + 0x60 : byte;
}
