#include "receipt/money.h"

#include <cstdio>

#include "receipt/receipt_text.h"

namespace zamri {

namespace {

// Codes of the currencies that Western European and American tills print beside amounts.
const char* const kCurrencyCodes[] = {"ARS", "AUD", "BRL", "CAD", "CHF", "CLP", "COP",
                                      "CZK", "DKK", "EUR", "GBP", "HUF", "MXN", "NOK",
                                      "NZD", "PEN", "PLN", "SEK", "USD", "UYU", "ZAR"};

// More integer digits than this are no price (and keep the value far from overflow).
constexpr int kMaxIntegerDigits = 13;

bool IsSeparator(char c) {
    return c == '.' || c == ',' || c == '\'';
}

bool IsSign(char c) {
    return c == '-' || c == '+';
}

// A currency at folded[at]: a sign (one byte) or a code (three letters); its length, or 0.
size_t CurrencyAt(std::string_view s, size_t at) {
    if (at >= s.size())
        return 0;
    if (IsFoldedCurrencySign(s[at]))
        return 1;
    return IsCurrencyCodeAt(s, at) ? 3 : 0;
}

// A blank that groups thousands, as French receipts print them ("1 234,56"): one blank
// before exactly three digits.
bool IsBlankGroup(std::string_view s, size_t i) {
    return i + 3 < s.size() && IsFoldedBlank(s[i]) && IsDigit(s[i + 1]) && IsDigit(s[i + 2]) &&
           IsDigit(s[i + 3]) && (i + 4 == s.size() || !IsDigit(s[i + 4]));
}

// The number at s[at]: digit groups and separators (blanks too when blankGroups). Returns its
// end, or 0 when the digits are no amount of this form.
size_t ReadNumber(std::string_view s, size_t at, AmountForm form, bool blankGroups, Money* value) {
    size_t groupStart[32];
    size_t groupEnd[32];
    char separator[32];
    int groups = 0;
    size_t i = at;
    for (;;) {
        size_t start = i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        if (i == start || groups == 32)
            return 0;
        groupStart[groups] = start;
        groupEnd[groups] = i;
        ++groups;
        if (i + 1 < s.size() && (IsSeparator(s[i]) || (blankGroups && IsBlankGroup(s, i))) &&
            IsDigit(s[i + 1])) {
            separator[groups - 1] = s[i];
            ++i;
            continue;
        }
        break;
    }
    // The last separator is the decimal one when one or two digits follow it; the others must
    // all be one other character, each before a group of three digits.
    int decimals = 0;
    int integerGroups = groups;
    if (groups > 1) {
        char last = separator[groups - 2];
        size_t lastLength = groupEnd[groups - 1] - groupStart[groups - 1];
        if (last != '\'' && (lastLength == 2 || (lastLength == 1 && form == AmountForm::Written))) {
            decimals = static_cast<int>(lastLength);
            integerGroups = groups - 1;
        }
    }
    if (form == AmountForm::Printed && decimals != 2)
        return 0;
    if (blankGroups && (decimals == 0 || integerGroups < 2 || separator[0] != ' '))
        return 0;  // blanks group only the thousands of an amount with decimals
    if (integerGroups > 1) {
        char thousands = separator[0];
        if (s[groupStart[0]] == '0')
            return 0;  // "0.456" is a weight, not 456
        if (decimals != 0 && thousands == separator[groups - 2])
            return 0;
        if (groupEnd[0] - groupStart[0] > 3)
            return 0;
        for (int g = 1; g < integerGroups; ++g)
            if (separator[g - 1] != thousands || groupEnd[g] - groupStart[g] != 3)
                return 0;
    }
    Money units = 0;
    int digits = 0;
    for (int g = 0; g < integerGroups; ++g)
        for (size_t k = groupStart[g]; k < groupEnd[g]; ++k) {
            if (digits > 0 || s[k] != '0')
                ++digits;
            if (digits > kMaxIntegerDigits)
                return 0;
            units = units * 10 + (s[k] - '0');
        }
    Money cents = 0;
    if (decimals > 0) {
        size_t d = groupStart[groups - 1];
        cents = (s[d] - '0') * 10;
        if (decimals == 2)
            cents += s[d + 1] - '0';
    }
    *value = units * 100 + cents;
    return groupEnd[groups - 1];
}

size_t SkipBlanks(std::string_view s, size_t i) {
    while (i < s.size() && IsFoldedBlank(s[i]))
        ++i;
    return i;
}

}  // namespace

bool IsCurrencyCodeAt(std::string_view s, size_t at) {
    if (at + 3 > s.size())
        return false;
    if (at > 0 && IsFoldedLetter(s[at - 1]))
        return false;
    if (at + 3 < s.size() && IsFoldedLetter(s[at + 3]))
        return false;
    std::string_view code = s.substr(at, 3);
    for (const char* known : kCurrencyCodes)
        if (code == known)
            return true;
    return false;
}

bool ReadAmountAt(std::string_view s, size_t at, AmountForm form, AmountText* amount) {
    if (at >= s.size())
        return false;
    // Never from the middle of a number or of a word, nor after a sign that belongs to it.
    if (at > 0) {
        char before = s[at - 1];
        if (IsDigit(before) || IsFoldedLetter(before) || IsSign(before) ||
            (IsSeparator(before) && at > 1 && IsDigit(s[at - 2])))
            return false;
    }
    size_t i = at;
    int sign = 0;
    if (IsSign(s[i])) {
        sign = s[i] == '-' ? -1 : 1;
        ++i;
    }
    size_t currency = CurrencyAt(s, i);
    bool currencyBefore = currency != 0;
    if (currencyBefore) {
        i = SkipBlanks(s, i + currency);
        if (sign == 0 && i < s.size() && IsSign(s[i])) {
            sign = s[i] == '-' ? -1 : 1;
            ++i;
        }
    }
    if (i >= s.size() || !IsDigit(s[i]))
        return false;
    Money value = 0;
    size_t end = ReadNumber(s, i, form, true, &value);
    if (end == 0)
        end = ReadNumber(s, i, form, false, &value);
    if (end == 0)
        return false;
    if (sign == 0 && end < s.size() && IsSign(s[end]) && (end + 1 == s.size() || !IsDigit(s[end + 1]))) {
        sign = s[end] == '-' ? -1 : 1;
        ++end;
    }
    size_t numberEnd = end;
    if (!currencyBefore) {
        size_t after = SkipBlanks(s, end);
        size_t length = CurrencyAt(s, after);
        // Attached, a code needs no blank: "12.50EUR" reads as "12.50 EUR".
        if (length != 0)
            end = after + length;
    }
    // What follows must end the amount: no letter, digit or percent sign, nor a separator that
    // goes on into more digits.
    if (end < s.size()) {
        char next = s[end];
        if (IsDigit(next) || IsFoldedLetter(next) || next == '%' ||
            (IsSeparator(next) && end + 1 < s.size() && IsDigit(s[end + 1])))
            return false;
    }
    amount->begin = at;
    amount->numberEnd = numberEnd;
    amount->end = end;
    amount->value = sign < 0 ? -value : value;
    return true;
}

void AppendMoneyJson(Money value, std::string* out) {
    char text[32];
    uint64_t magnitude =
        value < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    unsigned cents = static_cast<unsigned>(magnitude % 100);
    if (cents % 10 == 0)
        std::snprintf(text, sizeof text, "%s%llu.%u", value < 0 ? "-" : "",
                      static_cast<unsigned long long>(magnitude / 100), cents / 10);
    else
        std::snprintf(text, sizeof text, "%s%llu.%02u", value < 0 ? "-" : "",
                      static_cast<unsigned long long>(magnitude / 100), cents);
    out->append(text);
}

std::string MoneyText(Money value) {
    char text[32];
    uint64_t magnitude =
        value < 0 ? static_cast<uint64_t>(0) - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    std::snprintf(text, sizeof text, "%s%llu.%02u", value < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100), static_cast<unsigned>(magnitude % 100));
    return text;
}

bool ParseMoney(std::string_view text, Money* value) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    std::string upper(text.substr(begin, end - begin));
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    AmountText amount;
    if (upper.empty() || !ReadAmountAt(upper, 0, AmountForm::Written, &amount) || amount.end != upper.size())
        return false;
    *value = amount.value;
    return true;
}

bool ParseMoneyJson(std::string_view text, Money* value) {
    size_t i = 0;
    bool negative = i < text.size() && text[i] == '-';
    if (negative)
        ++i;
    Money units = 0;
    size_t start = i;
    while (i < text.size() && IsDigit(text[i])) {
        if (i - start >= kMaxIntegerDigits + 2)
            return false;
        units = units * 10 + (text[i++] - '0');
    }
    if (i == start)
        return false;
    Money cents = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        size_t decimals = 0;
        while (i < text.size() && IsDigit(text[i])) {
            if (decimals == 2) {
                if (text[i] != '0')
                    return false;
            } else {
                cents += (text[i] - '0') * (decimals == 0 ? 10 : 1);
            }
            ++decimals;
            ++i;
        }
        if (decimals == 0)
            return false;
    }
    if (i != text.size())
        return false;
    Money v = units * 100 + cents;
    *value = negative ? -v : v;
    return true;
}

}  // namespace zamri
