// Payment card numbers in printed lines: 13 to 19 digits that pass the Luhn check. Every digit
// of one but its last four becomes '*'; nothing else changes, so the line keeps its length and
// its columns.
//
// Where numbers are looked for: a run is digits and the gaps between them, a gap being one to
// kCardMaxGap blanks or dashes in any mix ("4111 1111", "4111-1111", "4111  1111",
// "4111 - 1111"). In a run every stretch of 13 to 19 consecutive digits is checked, wherever it
// starts (group borders do not matter, and digits before or after a card do not hide it), and
// every stretch that passes is masked; where stretches overlap, all of them are. A digit of a
// number beside a card may be masked with it; a digit of the card never stays readable, except
// its last four.
#pragma once

constexpr int kCardMinDigits = 13;
constexpr int kCardMaxDigits = 19;
constexpr int kCardMaxGap = 3;
// The most bytes one card number can cover: its digits and the widest gaps between them.
constexpr int kCardMaxSpan = kCardMaxDigits + (kCardMaxDigits - 1) * kCardMaxGap;

// Line flags by which a source tells the delivery step that a line was cut inside a run of
// digits whose other part is not in the line. They lie above the printed line's flags, and the
// delivery step takes them off before the filter, the overlay or a sink sees the flags.
constexpr int kLineFlagRunCutBefore = 0x100;  // the line begins with the rest of a cut run
constexpr int kLineFlagRunCutAfter = 0x200;   // the line ends in a run that goes on after it
constexpr int kLineFlagsRunCut = kLineFlagRunCutBefore | kLineFlagRunCutAfter;

// Masks every card number in text (length bytes, changed in place); returns how many stretches
// of digits were masked.
int MaskCardNumbers(char* text, int length);

// The same, for a line that was cut. runCuts (kLineFlagRunCut* bits): where the other part of a
// cut run is unknown, the digits that could belong to a card number across the cut are masked,
// the first (or last) kCardMaxDigits - 1 digits of the run at that edge. after (afterLength
// bytes, may be null) is what followed text but is not delivered: card numbers that run on into
// it are masked in text, judged with those bytes; after itself is not changed. The first
// kCardMaxSpan bytes of it are all that can matter.
int MaskCardNumbers(char* text, int length, int runCuts, const char* after, int afterLength);

// Where the run that text ends in begins: the first digit of the last run, when only a gap that a
// card number may hold (or nothing) follows it; length when text does not end in a run. A line
// cut at length can be cut at this position instead, so that no card number is split.
int CardRunTailStart(const char* text, int length);

// The Luhn check over count digits (values 0 to 9), the last being the check digit.
bool LuhnValid(const unsigned char* digits, int count);
