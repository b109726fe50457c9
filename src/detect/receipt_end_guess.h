// How a stream's receipts end: at a form feed, at a paper cut, or with a footer line that every
// receipt repeats. The stream is cut into receipts where the printer is told that one is over (a
// form feed, a cut, a long feed) or that the next begins (ESC @), each piece is decoded as a
// channel would decode it, and the receipts' last lines are compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kFooterTextLength = 63;  // what a channel record holds

enum ReceiptEnd { kReceiptEndUnknown, kReceiptEndFormFeed, kReceiptEndCut, kReceiptEndFooter };

// "formfeed", "cut", "footer", or nullptr for kReceiptEndUnknown.
const char* ReceiptEndName(int end);

// Where one receipt ends and the next begins, and what said so.
enum BoundaryKind { kBoundaryFormFeed, kBoundaryCut, kBoundaryReset, kBoundaryFeed };
struct ReceiptBoundary {
    size_t position;  // the first byte of the next receipt
    int kind;
};

struct ReceiptEndGuess {
    int end = kReceiptEndUnknown;
    double confidence = 0;
    std::string footer;  // the repeated last line, as the channel delivers it ("" when none)
    int receipts = 0;    // receipts seen whole
};

// boundaries in ascending order. The footer is looked for in the lines a channel with this
// emulation and pages delivers; it must end receipts and occur in no other line.
ReceiptEndGuess GuessReceiptEnd(const uint8_t* data, size_t size,
                                const std::vector<ReceiptBoundary>& boundaries, int emulation, int codePage,
                                int recorderPage);

// A footer text as the settings file can hold it: blanks trimmed, no comma (the longest piece
// without one), at most maxLength bytes.
std::string UsableFooter(const std::string& line, size_t maxLength);
