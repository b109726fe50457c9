// Amounts as tills print them, and as the records and the settings write them.
#include <gtest/gtest.h>

#include "receipt/money.h"
#include "receipt/receipt_text.h"

using namespace zamri;

namespace {

TEST(Money, PrintedAmountsReadInEveryFormTillsUse) {
    const struct {
        const char* text;  // as printed, in page 1252
        AmountForm form;
        bool ok;
        Money value;
        const char* rest;  // what follows the amount
    } cases[] = {
        {"12.50", AmountForm::Printed, true, 1250, ""},
        {"12,50", AmountForm::Printed, true, 1250, ""},
        {"1,234.56", AmountForm::Printed, true, 123456, ""},
        {"1.234,56", AmountForm::Printed, true, 123456, ""},
        {"1'234.56", AmountForm::Printed, true, 123456, ""},
        {"1.234.567,00", AmountForm::Printed, true, 123456700, ""},
        {"-5.00", AmountForm::Printed, true, -500, ""},
        {"5.00-", AmountForm::Printed, true, -500, ""},
        {"\x80"
         "12.50",
         AmountForm::Printed, true, 1250, ""},
        {"-\x80"
         "5.00",
         AmountForm::Printed, true, -500, ""},
        {"\x80-5.00", AmountForm::Printed, true, -500, ""},
        {"$ 5.00 tip", AmountForm::Printed, true, 500, " tip"},
        {"EUR 12,50", AmountForm::Printed, true, 1250, ""},
        {"12,50 EUR", AmountForm::Printed, true, 1250, ""},
        {"12,50EUR", AmountForm::Printed, true, 1250, ""},
        {"12,50 \x80 A", AmountForm::Printed, true, 1250, " A"},
        {"\xA3"
         "3.20",
         AmountForm::Printed, true, 320, ""},
        {"CHF 9.90", AmountForm::Printed, true, 990, ""},
        {"0.05", AmountForm::Printed, true, 5, ""},
        {"1 234,56 \x80", AmountForm::Printed, true, 123456, ""},
        {"12 345 678,90", AmountForm::Printed, true, 1234567890, ""},
        {"2 100,00-", AmountForm::Printed, true, -210000, ""},
        {"2 10,00", AmountForm::Printed, false, 0, ""},  // the 2 is a quantity, not money
        {"1 234", AmountForm::Written, true, 100, " 234"},
        // Not money: a weight, a percentage, a date, a count, a number going on.
        {"12.50KG", AmountForm::Printed, false, 0, ""},
        {"10.00%", AmountForm::Printed, false, 0, ""},
        {"12.08.2026", AmountForm::Printed, false, 0, ""},
        {"12.08.26", AmountForm::Printed, false, 0, ""},
        {"4217", AmountForm::Printed, false, 0, ""},
        {"12.5", AmountForm::Printed, false, 0, ""},
        {"1,234", AmountForm::Printed, false, 0, ""},
        {"1.234.56", AmountForm::Printed, false, 0, ""},
        {"1,23,456.00", AmountForm::Printed, false, 0, ""},
        {"EURO 5.00", AmountForm::Printed, false, 0, ""},
        {"12345678901234.00", AmountForm::Printed, false, 0, ""},
        // What users write: whole numbers and one decimal too.
        {"100", AmountForm::Written, true, 10000, ""},
        {"12.5", AmountForm::Written, true, 1250, ""},
        {"1.234", AmountForm::Written, true, 123400, ""},
        {"0.456", AmountForm::Written, false, 0, ""},
    };
    TextFolder folder(1252);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        FoldedLine line;
        folder.Fold(c.text, &line);
        AmountText amount;
        ASSERT_EQ(ReadAmountAt(line.text, 0, c.form, &amount), c.ok);
        if (!c.ok)
            continue;
        EXPECT_EQ(amount.value, c.value);
        FoldedLine rest;
        folder.Fold(c.rest, &rest);
        EXPECT_EQ(line.text.substr(amount.end), rest.text);
    }
}

TEST(Money, NoAmountBeginsInsideANumberOrAWord) {
    TextFolder folder(1252);
    FoldedLine line;
    folder.Fold("A112.50 -7.00", &line);
    AmountText amount;
    EXPECT_FALSE(ReadAmountAt(line.text, 1, AmountForm::Printed, &amount));  // after a letter
    EXPECT_FALSE(ReadAmountAt(line.text, 2, AmountForm::Printed, &amount));  // inside the number
    EXPECT_FALSE(ReadAmountAt(line.text, 9, AmountForm::Printed, &amount));  // after its sign
    ASSERT_TRUE(ReadAmountAt(line.text, 8, AmountForm::Printed, &amount));
    EXPECT_EQ(amount.value, -700);
}

TEST(Money, JsonAndSettingsFormsGoBothWays) {
    const struct {
        Money value;
        const char* json;
        const char* text;
    } cases[] = {
        {1250, "12.5", "12.50"}, {2000, "20.0", "20.00"}, {-1250, "-12.5", "-12.50"},
        {5, "0.05", "0.05"},     {-5, "-0.05", "-0.05"},  {123456, "1234.56", "1234.56"},
        {0, "0.0", "0.00"},
    };
    for (const auto& c : cases) {
        std::string json;
        AppendMoneyJson(c.value, &json);
        EXPECT_EQ(json, c.json);
        EXPECT_EQ(MoneyText(c.value), c.text);
        Money back = 1;
        ASSERT_TRUE(ParseMoneyJson(json, &back));
        EXPECT_EQ(back, c.value);
    }
    Money m = 0;
    EXPECT_TRUE(ParseMoneyJson("12", &m));
    EXPECT_EQ(m, 1200);
    EXPECT_TRUE(ParseMoneyJson("12.500", &m));
    EXPECT_EQ(m, 1250);
    EXPECT_FALSE(ParseMoneyJson("12.505", &m));
    EXPECT_FALSE(ParseMoneyJson("1e3", &m));
    EXPECT_FALSE(ParseMoneyJson("", &m));
    EXPECT_TRUE(ParseMoney(" 49,90 ", &m));
    EXPECT_EQ(m, 4990);
    EXPECT_TRUE(ParseMoney("-5", &m));
    EXPECT_EQ(m, -500);
    EXPECT_FALSE(ParseMoney("5 euros", &m));
    EXPECT_FALSE(ParseMoney("", &m));
}

}  // namespace
