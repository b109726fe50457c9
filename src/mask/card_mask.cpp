#include "mask/card_mask.h"

#include <cstdint>
#include <memory>
#include <new>

namespace {

constexpr int kVisibleDigits = 4;
// A card number across a cut has at least one digit on each side, so at most this many on one.
constexpr int kEdgeDigits = kCardMaxDigits - 1;
// Runs of up to this many digits (every run of a delivered line) are kept on the stack.
constexpr int kInlineDigits = 1200;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsGap(char c) {
    return c == ' ' || c == '-';
}

// The line and, behind it, what followed it: one text to search, of which only the line changes.
struct Joined {
    char* text;
    int length;
    const char* after;
    int afterLength;

    int Size() const { return length + afterLength; }
    char At(int i) const { return i < length ? text[i] : after[i - length]; }
};

// Gap characters from i on, counted up to one more than a gap may hold.
int GapAt(const Joined& s, int i) {
    int gap = 0;
    while (gap <= kCardMaxGap && i + gap < s.Size() && IsGap(s.At(i + gap)))
        ++gap;
    return gap;
}

// The run whose first digit is at i: returns the position after its last digit and counts its
// digits.
int RunEnd(const Joined& s, int i, int* digits) {
    int count = 0;
    for (;;) {
        while (i < s.Size() && IsDigit(s.At(i))) {
            ++i;
            ++count;
        }
        int gap = GapAt(s, i);
        if (gap >= 1 && gap <= kCardMaxGap && i + gap < s.Size() && IsDigit(s.At(i + gap))) {
            i += gap;
            continue;
        }
        *digits = count;
        return i;
    }
}

struct RunDigit {
    int position;
    uint8_t value;
    bool masked;
};

// Marks every stretch of 13 to 19 digits that passes the Luhn check, but its last four. The
// stretches that end at one digit are nested, so the widest one that passes covers the others.
void MarkCardNumbers(RunDigit* digits, int count) {
    for (int end = kCardMinDigits - 1; end < count; ++end) {
        int sum = 0;
        int widest = 0;
        for (int k = 0; k < kCardMaxDigits && k <= end; ++k) {
            int value = digits[end - k].value;
            if (k & 1) {
                value *= 2;
                if (value > 9)
                    value -= 9;
            }
            sum += value;
            if (k + 1 >= kCardMinDigits && sum % 10 == 0)
                widest = k + 1;
        }
        for (int i = end - widest + 1; widest > 0 && i <= end - kVisibleDigits; ++i)
            digits[i].masked = true;
    }
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
    return MaskCardNumbers(text, length, 0, nullptr, 0);
}

int MaskCardNumbers(char* text, int length, int runCuts, const char* after, int afterLength) {
    if (text == nullptr || length <= 0)
        return 0;
    if (after == nullptr || afterLength < 0)
        afterLength = 0;
    if (afterLength > kCardMaxSpan)
        afterLength = kCardMaxSpan;
    const Joined s{text, length, after, afterLength};
    // Where the first run begins when the line begins inside a cut run.
    int lead = GapAt(s, 0);
    bool cutBefore = (runCuts & kLineFlagRunCutBefore) != 0 && lead <= kCardMaxGap;
    bool cutAfter = (runCuts & kLineFlagRunCutAfter) != 0;

    RunDigit inlineDigits[kInlineDigits];
    std::unique_ptr<RunDigit[]> large;
    int stretches = 0;
    int i = 0;
    while (i < length) {
        if (!IsDigit(text[i])) {
            ++i;
            continue;
        }
        int count = 0;
        int end = RunEnd(s, i, &count);
        RunDigit* digits = inlineDigits;
        if (count > kInlineDigits) {
            large.reset(new (std::nothrow) RunDigit[count]);
            digits = large.get();
        }
        if (digits == nullptr) {
            // No room to weigh the run: all of it is hidden rather than any of it shown.
            for (int p = i; p < end && p < length; ++p)
                text[p] = IsDigit(text[p]) ? '*' : text[p];
            ++stretches;
            i = end;
            continue;
        }
        for (int p = i, k = 0; p < end; ++p) {
            if (IsDigit(s.At(p)))
                digits[k++] = {p, static_cast<uint8_t>(s.At(p) - '0'), false};
        }
        // Every mark is made on the digits as they came, before any of them becomes '*': a
        // masked digit would part the run for the stretches that overlap it.
        MarkCardNumbers(digits, count);
        if (cutBefore && i == lead) {
            for (int k = 0; k < count && k < kEdgeDigits; ++k)
                digits[k].masked = true;
        }
        int trailingGap = GapAt(s, end);
        if (cutAfter && trailingGap <= kCardMaxGap && end + trailingGap == s.Size()) {
            for (int k = count > kEdgeDigits ? count - kEdgeDigits : 0; k < count; ++k)
                digits[k].masked = true;
        }
        bool inStretch = false;
        for (int k = 0; k < count && digits[k].position < length; ++k) {
            if (digits[k].masked) {
                text[digits[k].position] = '*';
                stretches += inStretch ? 0 : 1;
            }
            inStretch = digits[k].masked;
        }
        i = end;
    }
    return stretches;
}

int CardRunTailStart(const char* text, int length) {
    if (text == nullptr || length <= 0)
        return length > 0 ? length : 0;
    int i = length;
    int gap = 0;
    while (i > 0 && gap <= kCardMaxGap && IsGap(text[i - 1])) {
        --i;
        ++gap;
    }
    if (gap > kCardMaxGap || i == 0 || !IsDigit(text[i - 1]))
        return length;
    for (;;) {
        while (i > 0 && IsDigit(text[i - 1]))
            --i;
        gap = 0;
        while (i - gap > 0 && gap <= kCardMaxGap && IsGap(text[i - gap - 1]))
            ++gap;
        if (gap >= 1 && gap <= kCardMaxGap && i - gap > 0 && IsDigit(text[i - gap - 1])) {
            i -= gap;
            continue;
        }
        return i;
    }
}
