// Random payment card numbers as receipts print them, in the company they keep on a line, and
// lines that hold none; for the masking property tests.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace card_lines {

// A line with one card number in it.
struct CardLine {
    std::string text;
    std::vector<int> digits;  // where the card's digits stand in text, in order
};

// digits of a valid card number of the given length (13 to 19).
std::string RandomCardDigits(std::mt19937& random, int length);

// A card number of any length, grouped as receipts group them (in one piece, in fours, 4-6-5,
// groups of any size; the gaps a blank, a dash, two or three blanks, " - "), between the things
// printed beside it: dates, authorisation codes, receipt numbers, amounts, digits joined to it
// by a blank or a dash or glued to it.
CardLine RandomCardLine(std::mt19937& random);

// Words and numbers of at most 12 digits, parted by words: nothing a card number could be.
// At least minLength bytes, and it ends in a word.
std::string RandomCardFreeLine(std::mt19937& random, size_t minLength);

// Fills text with words and blanks, ending in a blank (nothing that joins a number).
std::string Filler(std::mt19937& random, size_t length);

// The card's digits (but its last four) that are still readable in masked, where the card's
// text begins at offset and masked holds only the part up to masked.size().
std::vector<int> ReadableDigits(const std::string& masked, const CardLine& card, size_t offset);

// Whether masked differs from original anywhere but in digits that became '*'.
bool OnlyDigitsMasked(const std::string& original, const std::string& masked);

}  // namespace card_lines
