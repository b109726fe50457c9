#include "journal/text_fold.h"

namespace zamri {

namespace {

unsigned FoldCodePoint(unsigned cp) {
    if (cp >= 'A' && cp <= 'Z')
        return cp + 32;
    if (cp < 0xC0)
        return cp;
    if (cp <= 0xDE)
        return cp == 0xD7 ? cp : cp + 32;
    if (cp >= 0x100 && cp <= 0x17F) {
        // Latin Extended-A pairs upper and lower case; the parity of the upper letter flips
        // between the blocks 0x139-0x148 and 0x179-0x17E.
        bool oddUpper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
        if (cp == 0x130 || cp == 0x131 || cp == 0x138 || cp == 0x149 || cp == 0x17F)
            return cp;
        if (cp == 0x178)
            return 0xFF;
        if (oddUpper)
            return (cp & 1) ? cp + 1 : cp;
        return (cp & 1) ? cp : cp + 1;
    }
    if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2)
        return cp + 32;
    if (cp >= 0x410 && cp <= 0x42F)
        return cp + 32;
    if (cp >= 0x400 && cp <= 0x40F)
        return cp + 80;
    return cp;
}

void AppendCodePoint(unsigned cp, std::string* out) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

void AppendFolded(std::string_view text, std::string* out) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out->push_back(static_cast<char>(FoldAscii(c)));
            ++i;
            continue;
        }
        // Only two-byte sequences hold letters that fold; everything else is copied.
        if ((c & 0xE0) == 0xC0 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            AppendCodePoint(FoldCodePoint(cp), out);
            i += 2;
            continue;
        }
        out->push_back(static_cast<char>(c));
        ++i;
    }
}

}  // namespace zamri
