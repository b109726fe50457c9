#include "card_lines.h"

namespace card_lines {

namespace {

int Pick(std::mt19937& random, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
}

template <typename T, size_t N>
const T& OneOf(std::mt19937& random, const T (&items)[N]) {
    return items[Pick(random, 0, static_cast<int>(N) - 1)];
}

std::string Digits(std::mt19937& random, int count) {
    std::string digits;
    for (int i = 0; i < count; ++i)
        digits += static_cast<char>('0' + Pick(random, 0, 9));
    return digits;
}

// Group sizes for a number of this many digits.
std::vector<int> Grouping(std::mt19937& random, int length) {
    std::vector<int> sizes;
    switch (Pick(random, 0, 3)) {
        case 0:
            sizes.push_back(length);  // in one piece
            break;
        case 1:
            for (int left = length; left > 0; left -= 4)
                sizes.push_back(left < 4 ? left : 4);
            break;
        case 2:
            if (length >= 12) {  // 4-6-rest, as for the 14 and 15 digit brands
                sizes = {4, 6, length - 10};
                break;
            }
            [[fallthrough]];
        default:
            for (int left = length; left > 0;) {
                int size = Pick(random, 1, 6);
                sizes.push_back(size < left ? size : left);
                left -= sizes.back();
            }
            break;
    }
    return sizes;
}

}  // namespace

std::string RandomCardDigits(std::mt19937& random, int length) {
    static const char* const kLeads[] = {"4", "51", "55", "22", "34", "37", "36", "6011", "35", "62"};
    std::string digits = OneOf(random, kLeads);
    digits += Digits(random, length - 1 - static_cast<int>(digits.size()));
    int sum = 0;
    for (int i = static_cast<int>(digits.size()) - 1, doubled = 1; i >= 0; --i, doubled ^= 1) {
        int d = digits[i] - '0';
        if (doubled)
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    digits += static_cast<char>('0' + (10 - sum % 10) % 10);
    return digits;
}

CardLine RandomCardLine(std::mt19937& random) {
    static const char* const kBefore[] = {
        "",          "VISA ",        "CARD: ",     "20-09-2026 ", "2026-09-20 ",
        "20/09/26 ", "AUTH 123456 ", "RCPT 0042 ", "12.50 ",      "14:32 "};
    static const char* const kAfter[] = {"",           " 12/25", " 12 25", " AUTH 004211",
                                         " 12.50 EUR", " 0042",  ".",      "/"};
    static const char* const kGaps[] = {" ", "-", "  ", "   ", " - ", "--"};
    static const char* const kJoins[] = {" ", "-", "", "  "};
    CardLine line;
    std::string card = RandomCardDigits(random, Pick(random, 13, 19));
    // Digits beside the card, joined to it, or the things a receipt prints there.
    if (Pick(random, 0, 2) == 0)
        line.text = Digits(random, Pick(random, 1, 12)) + OneOf(random, kJoins);
    else
        line.text = OneOf(random, kBefore);
    const char* gap = OneOf(random, kGaps);
    std::vector<int> sizes = Grouping(random, static_cast<int>(card.size()));
    size_t next = 0;
    for (size_t g = 0; g < sizes.size(); ++g) {
        if (g > 0)
            line.text += gap;
        for (int i = 0; i < sizes[g]; ++i) {
            line.digits.push_back(static_cast<int>(line.text.size()));
            line.text += card[next++];
        }
    }
    if (Pick(random, 0, 2) == 0)
        line.text += OneOf(random, kJoins) + Digits(random, Pick(random, 1, 12));
    else
        line.text += OneOf(random, kAfter);
    return line;
}

std::string Filler(std::mt19937& random, size_t length) {
    static const char* const kWords[] = {"TOTAL ", "EUR ", "x ", "Till ", "Cashier ", "THANK YOU ", "VAT "};
    std::string text;
    while (text.size() < length)
        text += OneOf(random, kWords);
    text.resize(length);
    if (length > 0)
        text.back() = ' ';
    return text;
}

std::string RandomCardFreeLine(std::mt19937& random, size_t minLength) {
    static const char* const kWords[] = {"TOTAL", "EUR", "x", "AUTH", "Till", "#", "Qty", "VAT", "ok"};
    static const char* const kGaps[] = {" ", "-", "  ", "   ", " - "};
    std::string text;
    while (text.size() < minLength || text.empty()) {
        text += OneOf(random, kWords);
        text += ' ';
        switch (Pick(random, 0, 4)) {
            case 0:
                text += Digits(random, 2) + "." + Digits(random, 2);  // an amount
                break;
            case 1:
                text += Digits(random, 2) + ":" + Digits(random, 2);  // a time
                break;
            default: {  // up to 12 digits in groups
                int total = Pick(random, 1, 12);
                const char* gap = OneOf(random, kGaps);
                for (int left = total; left > 0;) {
                    int size = Pick(random, 1, left);
                    if (left != total)
                        text += gap;
                    text += Digits(random, size);
                    left -= size;
                }
                break;
            }
        }
        text += ' ';
    }
    return text + "END";
}

std::vector<int> ReadableDigits(const std::string& masked, const CardLine& card, size_t offset) {
    std::vector<int> readable;
    for (size_t k = 0; k + 4 < card.digits.size(); ++k) {
        size_t at = offset + static_cast<size_t>(card.digits[k]);
        if (at < masked.size() && masked[at] != '*')
            readable.push_back(static_cast<int>(at));
    }
    return readable;
}

bool OnlyDigitsMasked(const std::string& original, const std::string& masked) {
    if (original.size() != masked.size())
        return false;
    for (size_t i = 0; i < original.size(); ++i) {
        if (original[i] != masked[i] && !(masked[i] == '*' && original[i] >= '0' && original[i] <= '9'))
            return false;
    }
    return true;
}

}  // namespace card_lines
