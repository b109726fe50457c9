// Fuzz target: card-number masking. The first bytes make a valid card number (byte 0: its length
// from 13 to 19 and the gap between its groups; byte 1: where it goes; byte 2: where the line is
// cut; bytes 3 on: its digits) and the rest is the text it is put into.
// Properties: masking keeps the length, changes nothing but digits (into '*'), and masking the
// result again changes nothing; every digit of the card but its last four is masked, in the
// whole line, in the part before a cut judged with what follows it, and in both parts when
// the other side of the cut is unknown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mask/card_mask.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

std::string Masked(std::string text, int runCuts = 0, const std::string& after = std::string()) {
    MaskCardNumbers(&text[0], static_cast<int>(text.size()), runCuts, after.data(),
                    static_cast<int>(after.size()));
    return text;
}

void RequireOnlyDigitsMasked(const std::string& original, const std::string& masked) {
    Require(original.size() == masked.size());
    for (size_t i = 0; i < original.size(); ++i)
        Require(original[i] == masked[i] || (masked[i] == '*' && original[i] >= '0' && original[i] <= '9'));
}

// The card's digits but the last four, where they stand in text, are all '*' (positions at or
// past text's end do not count).
void RequireCardMasked(const std::string& text, const std::vector<size_t>& digits) {
    for (size_t k = 0; k + 4 < digits.size(); ++k)
        Require(digits[k] >= text.size() || text[digits[k]] == '*');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    static const char* const kGaps[] = {"", " ", "-", "  ", " - ", "   ", "--", "- "};
    int length = 13 + data[0] % 7;
    const char* gap = kGaps[(data[0] >> 3) % 8];
    int groupSize = 1 + (data[0] >> 6) * 2;  // 1, 3, 5 or 7 digits a group
    std::string context(reinterpret_cast<const char*>(data) + 3, size - 3);
    if (context.size() > 2000)
        context.resize(2000);

    // Any text: the length stays, only digits change, and a second pass finds nothing more.
    std::string once = Masked(context);
    RequireOnlyDigitsMasked(context, once);
    Require(Masked(once) == once);

    // The card: digits from the input, the check digit computed.
    std::string digits;
    for (int i = 0; i + 1 < length; ++i)
        digits += static_cast<char>('0' + (i + 3 < static_cast<int>(size) ? data[i + 3] % 10 : i % 10));
    int sum = 0;
    for (int i = static_cast<int>(digits.size()) - 1, doubled = 1; i >= 0; --i, doubled ^= 1) {
        int d = digits[i] - '0';
        sum += doubled ? (d * 2 > 9 ? d * 2 - 9 : d * 2) : d;
    }
    digits += static_cast<char>('0' + (10 - sum % 10) % 10);
    unsigned char check[kCardMaxDigits];
    for (int i = 0; i < length; ++i)
        check[i] = static_cast<unsigned char>(digits[i] - '0');
    Require(LuhnValid(check, length));

    size_t at = context.empty() ? 0 : data[1] % (context.size() + 1);
    std::string line = context.substr(0, at);
    std::vector<size_t> positions;
    for (int i = 0; i < length; ++i) {
        if (i > 0 && i % groupSize == 0)
            line += gap;
        positions.push_back(line.size());
        line += digits[i];
    }
    line += context.substr(at);

    std::string whole = Masked(line);
    RequireOnlyDigitsMasked(line, whole);
    RequireCardMasked(whole, positions);

    size_t cut = 1 + data[2] % line.size();
    std::string head = line.substr(0, cut);
    std::string tail = line.substr(cut);
    std::string judged = Masked(head, 0, tail);
    RequireOnlyDigitsMasked(head, judged);
    RequireCardMasked(judged, positions);
    std::string unknown = Masked(head, kLineFlagRunCutAfter) + Masked(tail, kLineFlagRunCutBefore);
    RequireOnlyDigitsMasked(line, unknown);
    RequireCardMasked(unknown, positions);
    return 0;
}
