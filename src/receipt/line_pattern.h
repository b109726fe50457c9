// The patterns users write for receipt lines, in templates and in rules:
//
//   text       itself; letters compare without regard to case or accents ("rückgeld" finds
//              "RUCKGELD" and "Rückgeld")
//   a blank    one or more blanks
//   *          any text, also none (unlike a mask's *, blanks included)
//   {amount}   an amount: "12.50", "1.234,56", "-5.00", "5.00-", "EUR 12.50", "€12.50", "100"
//   {text}     any text with something other than blanks in it; the value is kept without the
//              blanks around it
//   {word}     a run of characters without a blank
//   {number}   a run of digits, also with - / or . between digits ("004217", "0042-17")
//   \x         the character x itself: \\ \* \{ \} \|, as in "SALE \* {number}"
//
// A pattern holds at most one {amount} and at most one of {text}, {word} and {number}.
// Matching never backtracks: it walks the line once per element of the pattern, so a hostile
// line of 1023 characters costs at most (pattern length x line length) simple steps.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receipt/money.h"
#include "receipt/receipt_text.h"

namespace zamri {

struct PatternMatch {
    bool hasAmount = false;
    Money amount = 0;
    bool hasValue = false;
    size_t valueBegin = 0;  // folded positions of the {text}, {word} or {number} value
    size_t valueEnd = 0;
};

// Working memory of the matcher, reused from line to line (one per reader, never shared
// between threads).
struct PatternScratch {
    std::vector<uint8_t> reach;
    std::vector<uint32_t> counts;
};

class LinePattern {
  public:
    static constexpr int kMaxLength = 255;  // what the settings file keeps of a value

    enum class Scope {
        WholeLine,  // the pattern must cover the line (blanks at either end aside): templates
        Anywhere,   // the pattern may match any part of the line: rules, like the Important list
    };

    // Compiles text, written in the lines' encoding. 1, or 0 with a sentence for the user in
    // *error that quotes the pattern and says what is wrong with it.
    int Compile(std::string_view text, Scope scope, const TextFolder& folder, std::string* error);

    bool Match(const FoldedLine& line, PatternScratch* scratch, PatternMatch* match) const;

    bool HasAmount() const { return hasAmount; }
    bool HasValue() const { return hasValue; }
    const std::string& Text() const { return source; }
    // The plain text before the pattern's first field, as written, upper case, blanks
    // collapsed: "CASH" of "CASH {amount}" (a tender's name when the pattern has no value).
    const std::string& Lead() const { return lead; }

  private:
    enum class Kind : uint8_t { Literal, Blanks, Any, Text, Word, Number, Amount };
    struct Element {
        Kind kind;
        char c;
    };

    void Fill(std::string_view s, PatternScratch* scratch) const;

    std::string source;
    std::string lead;
    std::string needle;  // the longest plain run: a line without it cannot match
    std::vector<Element> elements;
    bool hasAmount = false;
    bool hasValue = false;
    Scope scope = Scope::WholeLine;
};

}  // namespace zamri
