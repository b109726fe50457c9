#include "receipt/receipt_text.h"

namespace zamri {

namespace {

// Base letters of the Latin-1 letters 0xC0 to 0xFF, as Windows page 1252 and Unicode place
// them; '\0' keeps the byte (the multiplication and division signs).
const char kLatinBase[65] =
    "AAAAAAACEEEEIIIIDNOOOOO\0OUUUUYTS"
    "AAAAAAACEEEEIIIIDNOOOOO\0OUUUUYTY";

// What one character of the Latin-1 range (0xA0 to 0xFF) folds to; 0 when it stays as it is.
unsigned char FoldLatin1(unsigned code) {
    if (code == 0xA0)
        return ' ';
    if (code == 0xA3)
        return static_cast<unsigned char>(kFoldedPound);
    if (code == 0xA5)
        return static_cast<unsigned char>(kFoldedYen);
    if (code == 0xAA)
        return 'A';
    if (code == 0xB0 || code == 0xBA)
        return 'O';
    if (code >= 0xC0 && code <= 0xFF)
        return static_cast<unsigned char>(kLatinBase[code - 0xC0]);
    return 0;
}

}  // namespace

TextFolder::TextFolder(int codePage) : page(codePage), utf8(codePage == kUtf8CodePage) {
    for (int b = 0; b < 256; ++b) {
        unsigned char c = static_cast<unsigned char>(b);
        if (b < 0x20 || b == 0x7F)
            c = ' ';
        else if (b >= 'a' && b <= 'z')
            c = static_cast<unsigned char>(b - 32);
        map[b] = c;
    }
    if (utf8)
        return;
    // Where each page keeps the euro sign: 0x88 in the Cyrillic page, 0x80 in the others.
    map[codePage == 1251 ? 0x88 : 0x80] = static_cast<unsigned char>(kFoldedEuro);
    map[0xA0] = ' ';
    if (codePage >= 1252 && codePage <= 1258)
        map[0xA3] = static_cast<unsigned char>(kFoldedPound);
    if (codePage != 1252)
        return;
    for (unsigned code = 0xA0; code <= 0xFF; ++code) {
        unsigned char folded = FoldLatin1(code);
        if (folded != 0)
            map[code] = folded;
    }
    map[0x8A] = map[0x9A] = 'S';  // Š š
    map[0x8E] = map[0x9E] = 'Z';  // Ž ž
    map[0x8C] = map[0x9C] = 'O';  // Œ œ
    map[0x9F] = 'Y';              // Ÿ
}

void TextFolder::Fold(std::string_view text, FoldedLine* out) const {
    out->text.clear();
    out->origin.clear();
    out->text.reserve(text.size());
    out->origin.reserve(text.size() + 1);
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!utf8 || c < 0x80) {
            out->text.push_back(static_cast<char>(map[c]));
            out->origin.push_back(static_cast<uint32_t>(i));
            ++i;
            continue;
        }
        // UTF-8: the Latin-1 letters (two bytes, C2 or C3 first) and the euro sign (E2 82 AC)
        // fold to one byte; any other sequence is kept byte for byte.
        if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            unsigned char folded = FoldLatin1(code);
            if (folded != 0) {
                out->text.push_back(static_cast<char>(folded));
                out->origin.push_back(static_cast<uint32_t>(i));
                i += 2;
                continue;
            }
        }
        if (c == 0xE2 && text.substr(i, 3) == "\xE2\x82\xAC") {
            out->text.push_back(kFoldedEuro);
            out->origin.push_back(static_cast<uint32_t>(i));
            i += 3;
            continue;
        }
        out->text.push_back(static_cast<char>(c));
        out->origin.push_back(static_cast<uint32_t>(i));
        ++i;
    }
    out->origin.push_back(static_cast<uint32_t>(text.size()));
}

}  // namespace zamri
