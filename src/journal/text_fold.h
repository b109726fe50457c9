// Case folding for searches: UTF-8 text to a form in which upper and lower case compare
// equal. Covers the scripts receipts are printed in (Latin with its accented letters, Greek,
// Cyrillic); other characters are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace zamri {

// Appends the folded form of text (UTF-8) to out.
void AppendFolded(std::string_view text, std::string* out);

// ASCII lower case of a byte; other bytes unchanged.
inline unsigned char FoldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

}  // namespace zamri
