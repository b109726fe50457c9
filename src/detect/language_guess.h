// Which printer language a stream is in: Text Only when it holds no control bytes but line
// controls; otherwise the family (ESC/P, ESC/POS, Star) whose commands explain it best, with a
// confidence from how far ahead of the others it is. Two families that decode the stream to the
// same lines are no real choice, so their closeness costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "detect/stream_scan.h"

constexpr size_t kLeastStreamBytes = 24;  // below this nothing is said

struct LanguageGuess {
    int emulation = -1;  // the emulation code, -1 when there is nothing to go by
    double confidence = 0;
    // The walks that decided it, by emulation code.
    StreamScan scans[4];
};

LanguageGuess GuessLanguage(const uint8_t* data, size_t size);

// The lines a channel with this emulation and printer page (0: the emulation's default)
// delivers from the bytes, at most maxLines of them.
std::vector<std::string> DecodeLines(const uint8_t* data, size_t size, int emulation, int codePage = 0,
                                     int recorderPage = 1252, size_t maxLines = 1000000);
