// Receipt lines in one comparable form: what the templates, the amount reader and the rules
// look at. Lines arrive in the recorder's Windows code page (or in UTF-8); folding makes
// "Rückgeld", "RUECKGELD" and "RUCKGELD" compare as the same letters, and keeps a map back to
// the original bytes so that values (a cashier's name) are handed on as printed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zamri {

// The code page number that stands for UTF-8 text.
constexpr int kUtf8CodePage = 65001;

// The bytes folded text uses for currency signs, whatever the line's encoding (control
// characters, which folding turns into blanks, so no printed byte can be taken for one).
constexpr char kFoldedEuro = '\x01';
constexpr char kFoldedPound = '\x02';
constexpr char kFoldedYen = '\x03';

// A line in folded form. text: ASCII letters in upper case; the accented Latin letters of
// Western European receipts as their base letter (Ü U, é E, ß S, ñ N, Œ O); ° º as O and ª as
// A; tabs, control characters and no-break spaces as blanks; the euro, pound and yen signs as
// the bytes above. Other characters stay as they are. origin[i] is the offset in the original
// line of folded byte i, and origin[text.size()] the original length.
struct FoldedLine {
    std::string text;
    std::vector<uint32_t> origin;

    // The original bytes behind folded bytes [begin, end).
    std::string_view Original(std::string_view original, size_t begin, size_t end) const {
        return original.substr(origin[begin], origin[end] - origin[begin]);
    }
};

class TextFolder {
  public:
    // codePage: the Windows page the lines are in (874, 1250 to 1258), or kUtf8CodePage. The
    // accented letters are folded for 1252 and UTF-8, the Western European texts; in other
    // pages only ASCII letters are, so no letter of another script is mistaken for a Latin one.
    explicit TextFolder(int codePage = 1252);

    void Fold(std::string_view text, FoldedLine* out) const;
    int CodePage() const { return page; }

  private:
    int page;
    bool utf8;
    unsigned char map[256];
};

// ' ' is the only blank left in folded text.
inline bool IsFoldedBlank(char c) {
    return c == ' ';
}
inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
// A letter of folded text: A to Z, or any byte above 0x7F (a letter of another script).
inline bool IsFoldedLetter(char c) {
    return (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
inline bool IsFoldedCurrencySign(char c) {
    return c == kFoldedEuro || c == kFoldedPound || c == kFoldedYen || c == '$';
}

}  // namespace zamri
