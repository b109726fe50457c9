// A channel's decoding settings beyond its channel value: the printer's code page, the idle end
// of a receipt and whether a paper cut ends one, kept in the settings file's section
// "[Channel N]" (keys "CodePage", "IdleSeconds" and "CutEndsReceipt"), and the recorder's code
// page in "[Options]" (key "RecorderCodePage").
#pragma once

#include <cstdint>

constexpr int kMaxIdleSeconds = 3600;

struct DecodingOptions {
    // The printer's page until the stream selects one; 0: as the printer ships; -1: none, bytes
    // pass as they come.
    int32_t codePage = 0;
    int32_t idleSeconds = 0;  // end an open receipt after this long without a byte; 0: never
    // 1: a paper cut (ESC/POS, Star) ends the receipt as a form feed does; 0: it does not.
    int32_t cutEndsReceipt = 1;
};

// The settings reader fills them from "[Channel N]" (N = channel number 1 to 32): missing keys
// read as their defaults, idle seconds are kept within 0 to kMaxIdleSeconds, only 0 turns the
// cut end off, and a code page is kept as written, supported or not, so that nothing the user
// wrote is lost; the capture reports one it cannot use.
// Writes the keys that differ from what the file holds; a key that is missing and would be its
// default is not added, so that untouched channels leave no sections behind. Returns 1, or 0 when the file
// could not be written.
int SaveDecodingOptions(const char* settingsPath, int channelNumber, const DecodingOptions& options);
