// The recorder's "pos_hebrew" setting: with it at 1, the Hebrew letters of the DOS code page
// (0x80 to 0x9A, and the rest of that block up to 0x9F) move to their places in the Windows
// Hebrew code page (0xE0 to 0xFF). Every other byte, 0xA0 to 0xFF included, stays as it is:
// moving those too would push them past 0xFF.
//
// A byte source hands such a byte on as its own value with kHebrewLetter added, so that a
// command parameter is still read as the byte the till sent, and the line loop puts the moved
// letter into the text without any further code-page conversion.
#pragma once

constexpr int kHebrewLetter = 0x100;

inline int ApplyHebrewShift(int byte, int posHebrew) {
    return (posHebrew == 1 && byte >= 0x80 && byte <= 0x9F) ? byte | kHebrewLetter : byte;
}

// The text byte of a source result: the moved letter for a Hebrew letter, else the byte.
inline int HebrewTextByte(int c) {
    return (c & kHebrewLetter) ? (c & 0xFF) + 0x60 : (c & 0xFF);
}
