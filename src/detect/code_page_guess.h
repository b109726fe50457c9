// Which code page a printer prints a stream's bytes from 0x80 up in, judged by the words they
// stand in: under the right page they are letters of the words' own script, in the words' case,
// currency signs beside amounts and box-drawing rules on their own; under a wrong page they turn
// into letters of another script, capitals inside small words, symbols inside words, controls.
#pragma once

#include <string>
#include <vector>

struct PageGuess {
    int page = 0;  // the page number as the settings file stores it; 0 when there is nothing to go by
    double confidence = 0;
    int weighed = 0;     // bytes from 0x80 up that were weighed
    double quality = 0;  // the share of them that read as plausible text under the page
    // Other supported pages that read every weighed byte as the same character (the choice among
    // them does not matter for what was seen).
    int equivalents = 0;
};

// Weighs the words (runs of text bytes between blanks and line ends, as printed; only words that
// hold a byte from 0x80 up matter) under every supported page. When pages tie, preferredPage (the
// emulation's own default, 0 for none) wins, then the pages most tills use.
PageGuess GuessCodePage(const std::vector<std::string>& words, int preferredPage);

// What the words weigh under one page (GuessCodePage compares these); 0 for an unknown page.
double PageScore(int page, const std::vector<std::string>& words);

// Whether the bytes from 0x80 up in the words form UTF-8 sequences, every one of them (at least
// two characters).
bool LooksLikeUtf8(const std::vector<std::string>& words);
