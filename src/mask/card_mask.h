// Payment card numbers in printed lines: a run of 13 to 19 digits, possibly split into groups
// by single spaces or dashes, that passes the Luhn check. Every digit but the last four becomes
// '*'; separators stay, so the line keeps its length and its columns.
#pragma once

// Masks every card number in text (length bytes, changed in place); returns how many.
//
// A run of digits is taken whole: 20 or more digits in a row are never a card number, and no
// number is looked for inside them. A run of groups (digits joined by single spaces or dashes)
// is searched from its first group on for the longest stretch of whole groups that is a card
// number; the search goes on after it. So "4111 1111 1111 1111 12/25" masks the number and
// leaves the expiry date.
int MaskCardNumbers(char* text, int length);

// The Luhn check over count digits (values 0 to 9), the last being the check digit.
bool LuhnValid(const unsigned char* digits, int count);
