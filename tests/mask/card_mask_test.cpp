// Card-number masking on the lines receipts really hold: the brands' published test numbers in
// their printed layouts, and the numbers that must stay readable.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "card_lines.h"
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
        {"4111 1111-1111 1111", "**** ****-**** 1111", 1},                        // mixed gaps
        {"4111  1111  1111  1111", "****  ****  ****  1111", 1},                  // two blanks
        {"4111 - 1111 - 1111 - 1111", "**** - **** - **** - 1111", 1},            // blank, dash, blank
        {"CARD 4012 8888 8888 1881 12/25", "CARD **** **** **** 1881 12/25", 1},  // then the expiry
        {"A 4012888888881881 B 5105105105105100", "A ************1881 B ************5100", 2},
    };
    ExpectCases(cases, sizeof cases / sizeof cases[0]);
}

// Digits printed beside a card number, joined to it, never hide it: every stretch of 13 to 19
// digits is weighed wherever it starts, and overlapping ones are all masked. Digits of the
// neighbour that pass the check together with the card's first groups are masked too.
TEST(CardMask, DigitsBesideACardNumberDoNotHideIt) {
    const Case cases[] = {
        {"252049438 4055 4158 5083 4751", "********* **** **** **** 4751", 1},
        {"20-09-2026 4990 6958 4830 4011", "**-**-**** **** **** **** 4011", 1},
        {"0123 4242 4242 4242 4242", "**** **** **** **** 4242", 1},
        {"9994012888888881881", "9**************1881", 1},      // glued into a longer run
        {"4012888888881881 0042", "**************** 0042", 1},  // a stretch that ends in 0042
        {"4000 0566 5566 5557 9", "**** **** **** *557 9", 1},  // 16 digits fail, 13 of them pass
    };
    ExpectCases(cases, sizeof cases / sizeof cases[0]);
}

TEST(CardMask, WhatIsNotACardNumberStaysReadable) {
    const Case cases[] = {
        {"4005550000000002", "4005550000000002", 0},                    // no stretch passes the check
        {"411111111111", "411111111111", 0},                            // 12 digits
        {"4111    1111 1111 1111", "4111    1111 1111 1111", 0},        // four blanks part the groups
        {"4111.1111.1111.1111", "4111.1111.1111.1111", 0},              // dots are not gaps
        {"TOTAL 1234567.89  EUR", "TOTAL 1234567.89  EUR", 0},          // amounts
        {"2026-12-09 14:32:05 #0042", "2026-12-09 14:32:05 #0042", 0},  // date and time
        {"RCPT 000123456789", "RCPT 000123456789", 0},                  // receipt number, 12 digits
        {"EAN 4006381333931", "EAN 4006381333931", 0},                  // EAN-13 that fails the Luhn check
        {"UPC 036000291452", "UPC 036000291452", 0},                    // UPC-A, 12 digits
        {"TEL +49 30 1234 5678", "TEL +49 30 1234 5678", 0},            // 12 digits
        {"TEL 0049 30 1234 5678 0", "TEL 0049 30 1234 5678 0", 0},      // 15 digits, no stretch passes
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

std::string Masked(std::string text, int runCuts = 0, const std::string& after = std::string()) {
    MaskCardNumbers(&text[0], static_cast<int>(text.size()), runCuts, after.data(),
                    static_cast<int>(after.size()));
    return text;
}

// Random card numbers of every length and grouping, beside whatever receipts print beside them:
// masked every time, whole or cut anywhere (judged with what follows the cut, or with the run's
// other part unknown), and nothing but their digits changes.
TEST(CardMask, EveryCardNumberInAnyCompanyIsMaskedWholeOrCutAnywhere) {
    std::mt19937 random(20260920);
    for (int round = 0; round < 20000; ++round) {
        card_lines::CardLine line = card_lines::RandomCardLine(random);
        SCOPED_TRACE(line.text);
        std::string whole = Masked(line.text);
        ASSERT_TRUE(card_lines::OnlyDigitsMasked(line.text, whole)) << whole;
        ASSERT_EQ(card_lines::ReadableDigits(whole, line, 0), std::vector<int>()) << whole;

        size_t cut = std::uniform_int_distribution<size_t>(1, line.text.size() - 1)(random);
        std::string head = line.text.substr(0, cut);
        std::string tail = line.text.substr(cut);
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::string judged = Masked(head, 0, tail);
        std::string unknown = Masked(head, kLineFlagRunCutAfter);
        std::string rest = Masked(tail, kLineFlagRunCutBefore);
        ASSERT_TRUE(card_lines::OnlyDigitsMasked(head, judged) &&
                    card_lines::OnlyDigitsMasked(head, unknown));
        ASSERT_EQ(card_lines::ReadableDigits(judged, line, 0), std::vector<int>()) << judged;
        ASSERT_EQ(card_lines::ReadableDigits(unknown + rest, line, 0), std::vector<int>()) << unknown << rest;
    }
}

TEST(CardMask, TextWithoutCardNumbersIsUnchangedWholeOrCutAnywhere) {
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        std::string line = card_lines::RandomCardFreeLine(random, 60);
        SCOPED_TRACE(line);
        ASSERT_EQ(Masked(line), line);
        size_t cut = std::uniform_int_distribution<size_t>(1, line.size() - 1)(random);
        ASSERT_EQ(Masked(line.substr(0, cut), 0, line.substr(cut)), line.substr(0, cut));
    }
}

TEST(CardMask, ARunCutWhereItsOtherPartIsUnknownIsMaskedAsFarAsACardCouldReach) {
    // 18 digits on each side of the cut: a card number across it has at least one on the other.
    // (No stretch of ones passes the Luhn check.)
    EXPECT_EQ(Masked("TOTAL x 1111 1111 1111 1111 1111", kLineFlagRunCutAfter),
              "TOTAL x 11** **** **** **** ****");
    EXPECT_EQ(Masked("1111 1111 1111 1111 1111 x", kLineFlagRunCutAfter), "1111 1111 1111 1111 1111 x");
    EXPECT_EQ(Masked("  11111111111111111111 x 11", kLineFlagRunCutBefore), "  ******************11 x 11");
    EXPECT_EQ(Masked("TOTAL 12", kLineFlagRunCutBefore), "TOTAL 12");
    EXPECT_EQ(Masked("TOTAL 12 - ", kLineFlagRunCutAfter), "TOTAL ** - ");
    EXPECT_EQ(Masked("TOTAL 12    ", kLineFlagRunCutAfter), "TOTAL 12    ");  // four blanks end the run
}

TEST(CardMask, WhereALineCanBeCutWithoutSplittingANumber) {
    struct {
        const char* text;
        int start;
    } cases[] = {{"TOTAL 4111 1111", 6}, {"TOTAL 4111 - 1111 - ", 6}, {"x 12.4111", 5}, {"4111 1111", 0},
                 {"TOTAL", 5},           {"TOTAL 12    ", 12},        {"", 0},          {"12-", 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CardRunTailStart(c.text, static_cast<int>(std::string(c.text).size())), c.start) << c.text;
}

TEST(CardMask, TheLuhnCheck) {
    const unsigned char valid[] = {7, 9, 9, 2, 7, 3, 9, 8, 7, 1, 3};
    const unsigned char invalid[] = {7, 9, 9, 2, 7, 3, 9, 8, 7, 1, 4};
    EXPECT_TRUE(LuhnValid(valid, 11));
    EXPECT_FALSE(LuhnValid(invalid, 11));
    EXPECT_FALSE(LuhnValid(valid, 0));
}

}  // namespace
