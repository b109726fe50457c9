// Amounts as receipts print them, read into whole hundredths of the currency unit (cents), so
// sums and comparisons never round. Works on folded text (receipt_text.h).
//
// An amount is a number with a decimal point or comma ("12.50", "12,50"), with or without
// thousands separators that differ from it ("1,234.56", "1.234,56", "1'234.56", and one blank
// before each three digits of an amount with decimals: "1 234,56"); a currency
// sign or code before or after it, attached or apart ("€12.50", "12,50 EUR", "$ 5.00"); and a
// sign before or after it ("-5.00", "5.00-", "-€5.00", "€-5.00"). A number followed by a
// letter, a digit or % is no amount ("12.50kg", "10.00%").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zamri {

using Money = int64_t;  // hundredths of the currency unit

enum class AmountForm {
    // Exactly two decimals, as receipts print money: what the built-in template takes, so
    // that a quantity, a date or a receipt number is never read as an amount.
    Printed,
    // Also whole numbers and one decimal ("100", "12.5"): what users write in settings and
    // what a user's {amount} takes.
    Written,
};

struct AmountText {
    size_t begin = 0;
    size_t numberEnd = 0;  // end of the number with an attached sign, before a currency after it
    size_t end = 0;        // end with the currency after it, when there is one
    Money value = 0;
};

// Reads an amount that begins exactly at folded[at] (at a sign, a currency or a digit). False
// when there is none there, also when at is in the middle of a number.
bool ReadAmountAt(std::string_view folded, size_t at, AmountForm form, AmountText* amount);

// Whether folded[at, at + 3) is a currency code receipts print (EUR, USD, GBP, CHF, ...) that
// stands as a word of its own.
bool IsCurrencyCodeAt(std::string_view folded, size_t at);

// A JSON number: "12.5", "20.0", "-0.05", "1234.56".
void AppendMoneyJson(Money value, std::string* out);
// Two decimals for people: "120.00", "-5.00".
std::string MoneyText(Money value);
// An amount written in the settings ("100", "99.90", "-5", "12,50"): true when the whole text
// (blanks around it aside) is one.
bool ParseMoney(std::string_view text, Money* value);
// The inverse of AppendMoneyJson for the numbers the records hold (at most two decimals).
bool ParseMoneyJson(std::string_view text, Money* value);

}  // namespace zamri
