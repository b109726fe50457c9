// The users' patterns: what they match and capture, what they refuse, and that no line can
// make them slow.
#include <gtest/gtest.h>

#include "receipt/line_pattern.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

struct Outcome {
    bool matched = false;
    std::string value;
    std::string amount;
};

// Pattern and line are written in UTF-8 here and used in page 1252.
Outcome MatchOne(const char* pattern, LinePattern::Scope scope, const std::string& utf8) {
    TextFolder folder(1252);
    LinePattern p;
    std::string error;
    EXPECT_EQ(p.Compile(Utf8ToCp1252(pattern), scope, folder, &error), 1) << error;
    std::string text = Utf8ToCp1252(utf8);
    FoldedLine line;
    folder.Fold(text, &line);
    PatternScratch scratch;
    PatternMatch m;
    Outcome o;
    o.matched = p.Match(line, &scratch, &m);
    if (o.matched && m.hasValue)
        o.value = std::string(line.Original(text, m.valueBegin, m.valueEnd));
    if (o.matched && m.hasAmount)
        o.amount = MoneyText(m.amount);
    return o;
}

TEST(LinePattern, TemplatePatternsCoverTheLineAndTakeTheirFields) {
    const struct {
        const char* pattern;
        const char* line;
        bool matched;
        const char* value;
        const char* amount;
    } cases[] = {
        {"TOTAL {amount}", "   total        12.50  ", true, "", "12.50"},
        {"TOTAL {amount}", "SUBTOTAL 12.50", false, "", ""},
        {"TOTAL {amount}", "TOTAL SAVINGS 3.00", false, "", ""},
        {"TOTAL {amount}", "TOTAL 12.50 EUR", true, "", "12.50"},
        {"{amount} EUR", "12.50 EUR", true, "", "12.50"},
        {"CASHIER: {text}", "Cashier:   Anna  Lee ", true, "Anna  Lee", ""},
        {"CASHIER: {text}", "CASHIER:   ", false, "", ""},
        {"VOID {text} {amount}", "VOID COKE 2 1.50-", true, "COKE 2", "-1.50"},
        {"* REG {word} *", "CASHIER 5 REG K-3 TRANS 9", true, "K-3", ""},
        {"{word}:", "ANNA:", true, "ANNA", ""},
        {"SALE {number}", "SALE 0042-17", true, "0042-17", ""},
        {"SALE {number}", "SALE 42A", false, "", ""},
        {"RÜCKGELD {amount}", "Ruckgeld 7,50", true, "", "7.50"},
        {"\\*\\* {word} \\*\\*", "** VOID **", true, "VOID", ""},
        {"PAID {word} {amount}", "PAID COIN 100", true, "COIN", "100.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.line);
        Outcome o = MatchOne(c.pattern, LinePattern::Scope::WholeLine, c.line);
        EXPECT_EQ(o.matched, c.matched);
        EXPECT_EQ(o.value, c.value);
        EXPECT_EQ(o.amount, c.amount);
    }
}

TEST(LinePattern, RulePatternsAreFoundAnywhereInTheLine) {
    EXPECT_TRUE(MatchOne("NO SALE", LinePattern::Scope::Anywhere, "*** no   sale ***").matched);
    EXPECT_FALSE(MatchOne("NO SALE", LinePattern::Scope::Anywhere, "NOSALE").matched);
    Outcome o = MatchOne("REFUND {amount}", LinePattern::Scope::Anywhere, "ITEM REFUND 12.50 T");
    EXPECT_TRUE(o.matched);
    EXPECT_EQ(o.amount, "12.50");
}

TEST(LinePattern, APatternThatCannotWorkIsRefusedWithItsReason) {
    const struct {
        const char* pattern;
        const char* message;
    } cases[] = {
        {"", "A pattern cannot be empty."},
        {"   ", "A pattern cannot be empty."},
        {"*", "The pattern \"*\" would match every line: it needs some text, {amount}, {word} or {number}."},
        {"{text}",
         "The pattern \"{text}\" would match every line: it needs some text, {amount}, {word} or {number}."},
        {"TOTAL {amont}",
         "The pattern \"TOTAL {amont}\" has an unknown field {amont}: the fields are {amount}, "
         "{text}, {word} and {number}."},
        {"TOTAL {amount",
         "The pattern \"TOTAL {amount\" has a { without its } (write \\{ for the character itself)."},
        {"A } B", "The pattern \"A } B\" has a } without its { (write \\} for the character itself)."},
        {"TOTAL\\", "The pattern \"TOTAL\\\" ends with a lone \\ (write \\\\ for a backslash)."},
        {"{amount} {amount}", "The pattern \"{amount} {amount}\" has more than one {amount}."},
        {"{word} {text} X",
         "The pattern \"{word} {text} X\" has more than one of {text}, {word} and {number}."},
    };
    TextFolder folder(1252);
    for (const auto& c : cases) {
        LinePattern p;
        std::string error;
        EXPECT_EQ(p.Compile(c.pattern, LinePattern::Scope::WholeLine, folder, &error), 0) << c.pattern;
        EXPECT_EQ(error, c.message);
    }
    LinePattern p;
    std::string error;
    EXPECT_EQ(p.Compile(std::string(256, 'A'), LinePattern::Scope::WholeLine, folder, &error), 0);
    EXPECT_NE(error.find("is longer than 255 characters."), std::string::npos);
}

// Shapes that make a backtracking matcher take exponential time; each finishes here in one
// pass per element (a regression would hang this test, not merely slow it).
TEST(LinePattern, HostileLinesCostOnePassPerElement) {
    std::string a(1023, 'A');
    std::string blanks = "A" + std::string(1021, ' ') + "A";
    std::string digits(1023, '1');
    const struct {
        const char* pattern;
        const std::string* line;
    } cases[] = {
        {"*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A*B", &a}, {"{text}A*A*A*A*A*A*A*A*A*A*A*B", &a},
        {"A * * * * * * * * * * * * * B", &blanks}, {"{word}*1*1*1*1*1*1*1*1*1*1*X", &digits},
        {"*{amount}*{number}*2", &digits},
    };
    for (const auto& c : cases) {
        for (LinePattern::Scope scope : {LinePattern::Scope::WholeLine, LinePattern::Scope::Anywhere})
            EXPECT_FALSE(MatchOne(c.pattern, scope, *c.line).matched) << c.pattern;
    }
    EXPECT_TRUE(MatchOne("*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A*A", LinePattern::Scope::WholeLine, a).matched);
}

TEST(LinePattern, ATendersNameIsThePlainTextBeforeItsFirstField) {
    TextFolder folder(1252);
    LinePattern p;
    ASSERT_EQ(p.Compile("* gift  card {amount}", LinePattern::Scope::WholeLine, folder, nullptr), 1);
    EXPECT_EQ(p.Lead(), "GIFT CARD");
    ASSERT_EQ(p.Compile("\\*CASH {amount}", LinePattern::Scope::WholeLine, folder, nullptr), 1);
    EXPECT_EQ(p.Lead(), "*CASH");
}

}  // namespace
