#include "mask/card_mask.h"

namespace {

constexpr int kMinDigits = 13;
constexpr int kMaxDigits = 19;
constexpr int kVisibleDigits = 4;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSeparator(char c) {
    return c == ' ' || c == '-';
}

// One group of a run: text[start, end) is all digits.
struct Group {
    int start;
    int end;
};

// Collects the digits of groups first..last (at most kMaxDigits, checked by the caller).
int GatherDigits(const char* text, const Group* groups, int first, int last, unsigned char* digits) {
    int count = 0;
    for (int g = first; g <= last; ++g) {
        for (int i = groups[g].start; i < groups[g].end; ++i)
            digits[count++] = static_cast<unsigned char>(text[i] - '0');
    }
    return count;
}

void MaskGroups(char* text, const Group* groups, int first, int last, int digitCount) {
    int toMask = digitCount - kVisibleDigits;
    for (int g = first; g <= last && toMask > 0; ++g) {
        for (int i = groups[g].start; i < groups[g].end && toMask > 0; ++i, --toMask)
            text[i] = '*';
    }
}

// Masks the card numbers among a run's groups; returns how many.
int MaskRun(char* text, const Group* groups, int groupCount) {
    int masked = 0;
    unsigned char digits[kMaxDigits];
    int first = 0;
    while (first < groupCount) {
        int best = -1;
        int bestCount = 0;
        int count = 0;
        for (int last = first; last < groupCount; ++last) {
            count += groups[last].end - groups[last].start;
            if (count > kMaxDigits)
                break;
            if (count >= kMinDigits && LuhnValid(digits, GatherDigits(text, groups, first, last, digits))) {
                best = last;
                bestCount = count;
            }
        }
        if (best < 0) {
            ++first;
            continue;
        }
        MaskGroups(text, groups, first, best, bestCount);
        ++masked;
        first = best + 1;
    }
    return masked;
}

}  // namespace

bool LuhnValid(const unsigned char* digits, int count) {
    int sum = 0;
    bool doubled = false;
    for (int i = count - 1; i >= 0; --i) {
        int d = digits[i];
        if (doubled) {
            d *= 2;
            if (d > 9)
                d -= 9;
        }
        sum += d;
        doubled = !doubled;
    }
    return count > 0 && sum % 10 == 0;
}

int MaskCardNumbers(char* text, int length) {
    if (text == nullptr)
        return 0;
    // A run of single-digit groups has at most one group per two bytes.
    constexpr int kMaxGroups = 1024;
    Group groups[kMaxGroups];
    int masked = 0;
    int i = 0;
    while (i < length) {
        if (!IsDigit(text[i])) {
            ++i;
            continue;
        }
        int groupCount = 0;
        for (;;) {
            int start = i;
            while (i < length && IsDigit(text[i]))
                ++i;
            if (groupCount == kMaxGroups) {
                // Only texts far longer than any line get here (a line has at most 512 groups).
                masked += MaskRun(text, groups, groupCount);
                groupCount = 0;
            }
            groups[groupCount++] = {start, i};
            if (i + 1 < length && IsSeparator(text[i]) && IsDigit(text[i + 1])) {
                ++i;
                continue;
            }
            break;
        }
        masked += MaskRun(text, groups, groupCount);
    }
    return masked;
}
