// Card-number masking on the lines receipts really hold: the brands' published test numbers in
// their printed layouts, and the numbers that must stay readable.
#include <gtest/gtest.h>

#include <string>

#include "mask/card_mask.h"

namespace {

struct Case {
    const char* line;
    const char* expected;
    int count;
};

std::string Masked(const std::string& line, int* count) {
    std::string text = line;
    *count = MaskCardNumbers(&text[0], static_cast<int>(text.size()));
    return text;
}

void ExpectCases(const Case* cases, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE(cases[i].line);
        int count = -1;
        std::string masked = Masked(cases[i].line, &count);
        EXPECT_EQ(masked, cases[i].expected);
        EXPECT_EQ(count, cases[i].count);
        EXPECT_EQ(masked.size(), std::string(cases[i].line).size());
    }
}

TEST(CardMask, EveryCommonLengthAndLayoutIsMaskedButItsLastFourDigits) {
    const Case cases[] = {
        {"4111111111111111", "************1111", 1},                              // Visa 16
        {"VISA 4222222222222", "VISA *********2222", 1},                          // Visa 13
        {"5555-5555-5555-4444", "****-****-****-4444", 1},                        // Mastercard
        {"MC 2223 0031 2200 3222 CHIP", "MC **** **** **** 3222 CHIP", 1},        // Mastercard 2-series
        {"AMEX 3782 822463 10005", "AMEX **** ****** *0005", 1},                  // Amex 4-6-5
        {"371449635398431", "***********8431", 1},                                // Amex 15
        {"DINERS 3056 930902 5904", "DINERS **** ****** 5904", 1},                // Diners 14
        {"6011 1111 1111 1117", "**** **** **** 1117", 1},                        // Discover
        {"JCB:3530111333300000;", "JCB:************0000;", 1},                    // JCB, glued to text
        {"6205 5000 0000 0000 004", "**** **** **** ***0 004", 1},                // UnionPay 19
        {"4917-6100-0000-0000-003", "****-****-****-***0-003", 1},                // Visa 19
        {"4111 1111-1111 1111", "**** ****-**** 1111", 1},                        // mixed separators
        {"CARD 4111 1111 1111 1111 12/25", "CARD **** **** **** 1111 12/25", 1},  // then the expiry
        {"A 4012888888881881 B 5105105105105100", "A ************1881 B ************5100", 2},
        {"0123 4242 4242 4242 4242", "0123 **** **** **** 4242", 1},  // the number after a group
    };
    ExpectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(CardMask, WhatIsNotACardNumberStaysReadable) {
    const Case cases[] = {
        {"4111111111111112", "4111111111111112", 0},                    // fails the Luhn check
        {"411111111111", "411111111111", 0},                            // 12 digits
        {"41111111111111111111", "41111111111111111111", 0},            // 20 digits in a row
        {"9994111111111111111199", "9994111111111111111199", 0},        // a card number inside a longer run
        {"4111  1111 1111 1111", "4111  1111 1111 1111", 0},            // a double blank parts the groups
        {"4111 1111 1111 1111.", "**** **** **** 1111.", 1},            // (a full stop ends the number)
        {"4111.1111.1111.1111", "4111.1111.1111.1111", 0},              // dots are not separators
        {"TOTAL 1234567.89  EUR", "TOTAL 1234567.89  EUR", 0},          // amounts
        {"2026-12-09 14:32:05 #0042", "2026-12-09 14:32:05 #0042", 0},  // date and time
        {"RCPT 000123456789", "RCPT 000123456789", 0},                  // receipt number, 12 digits
        {"EAN 4006381333931", "EAN 4006381333931", 0},                  // EAN-13 that fails the Luhn check
        {"UPC 036000291452", "UPC 036000291452", 0},                    // UPC-A, 12 digits
        {"TEL +49 30 1234 5678", "TEL +49 30 1234 5678", 0},            // 12 digits
        {"TEL 0049 30 1234 5678 0", "TEL 0049 30 1234 5678 0", 0},      // 15 digits, fails the check
        {"************1111", "************1111", 0},                    // masked by the till already
        {"", "", 0},
    };
    ExpectCases(cases, sizeof cases / sizeof cases[0]);
}

// The price of masking by the Luhn check alone: one 13 to 19 digit number in ten passes it by
// chance, like this EAN-13 (the standard's own example).
TEST(CardMask, AnEan13ThatPassesTheLuhnCheckIsMaskedToo) {
    int count = 0;
    EXPECT_EQ(Masked("EAN 5901234123457", &count), "EAN *********3457");
    EXPECT_EQ(count, 1);
}

TEST(CardMask, TheLuhnCheck) {
    const unsigned char valid[] = {7, 9, 9, 2, 7, 3, 9, 8, 7, 1, 3};
    const unsigned char invalid[] = {7, 9, 9, 2, 7, 3, 9, 8, 7, 1, 4};
    EXPECT_TRUE(LuhnValid(valid, 11));
    EXPECT_FALSE(LuhnValid(invalid, 11));
    EXPECT_FALSE(LuhnValid(valid, 0));
}

}  // namespace
