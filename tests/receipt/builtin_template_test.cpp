// The built-in template line by line: what it reads, and what it leaves alone.
#include <gtest/gtest.h>

#include "receipt/builtin_template.h"
#include "receipt/receipt_template.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

// The readings of a line as "Field amount text; ...".
std::string Read(const std::string& utf8, bool totalSeen = true, bool inSlip = false) {
    static const ReceiptTemplate builtin(1252);
    std::string text = Utf8ToCp1252(utf8);
    FoldedLine line;
    builtin.Folder().Fold(text, &line);
    ReadContext context;
    context.totalSeen = totalSeen;
    context.inSlip = inSlip;
    PatternScratch scratch;
    LineReadings readings;
    builtin.Read(line, text, context, &scratch, &readings);
    std::string out;
    for (int i = 0; i < readings.count; ++i) {
        const LineReading& r = readings.items[i];
        if (!out.empty())
            out += "; ";
        out += ReceiptFieldName(r.field);
        if (r.hasAmount)
            out += " " + MoneyText(r.amount);
        if (!r.text.empty()) {
            std::string utf8Text;
            Cp1252ToUtf8(r.text, &utf8Text);
            out += " " + utf8Text;
        }
    }
    return out;
}

TEST(BuiltinTemplate, ReadsTheFieldsOfCommonLines) {
    const struct {
        const char* line;
        const char* readings;
    } cases[] = {
        {"TOTAL                12.50", "Total 12.50"},
        {"**** TOTAL ****      12.50", "Total 12.50"},
        {"Total EUR          1.234,56", "Total 1234.56"},
        {"TOTAL:12.50", "Total 12.50"},
        {"Summe           12,50 €", "Total 12.50"},
        {"TOTAL TTC     1 234,56 €", "Total 1234.56"},
        {"TOTAL.............12.50", "Total 12.50"},
        {"TOTAL 12.50  CASH 20.00", "Total 12.50; Tender 20.00 CASH"},
        {"Total à payer : 12,50 €", "Total 12.50"},
        {"SUB-TOTAL            12.50", "Subtotal 12.50"},
        {"Zwischensumme        12,50", "Subtotal 12.50"},
        {"CASH 20.00   CHANGE 7.50", "Tender 20.00 CASH; Change 7.50"},
        {"Rückgeld              7,50", "Change 7.50"},
        {"EC-Karte             12,50", "Tender 12.50 EC KARTE"},
        {"VISA ************4242 89.10", "Tender 89.10 VISA"},
        {"REFUND 12.50", "Refund -12.50"},
        {"TOTAL REFUND   12.50", "Total -12.50; Refund -12.50"},
        {"STORNO Milch     -1,29 A", "Void -1.29"},
        {"COLA VOID           1.50-", "Void -1.50"},
        {"10% MEMBER DISCOUNT -1.00", "Discount -1.00"},
        {"PRICE OVERRIDE 5.99 -> 3.99", "PriceOverride 3.99"},
        {"VOID TRANSACTION   45.00", "Cancel 45.00"},
        {"  *** NO SALE ***", "NoSale"},
        {"Bon storniert", "Cancel"},
        {"*** REFUND ***", "Refund"},
        {"CASHIER: 17  REG: 3  TRANS: 004217", "Cashier 17; Register 3; Number 004217"},
        {"Kasse 3  Bon-Nr. 4217  Bed. 17", "Register 3; Number 4217; Cashier 17"},
        {"Le atendió: María José", "Cashier María José"},
        {"SERVED BY ANNA", "Cashier ANNA"},
        {"Ticket N° 004217  08/12/26 14:00", "Number 004217"},
        {"REG#3 TRANS#77", "Register 3; Number 77"},
        {"TERMINAL ID 12345678", "PaymentSlip"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Read(c.line), c.readings) << c.line;
}

TEST(BuiltinTemplate, LeavesAFieldEmptyRatherThanGuessing) {
    const char* const lines[] = {
        "TOTAL SAVINGS         3.00",  // not the total
        "YOU SAVED 3.00 TOTAL DISCOUNT",
        "TOTAL DISCOUNT        3.00",  // a summary, not another discount
        "CASH REGISTER TAPE    3.99",  // an item, not a tender
        "2 X 1.50              3.00",
        "TOTAL 3 ITEMS",
        "BALANCE               0.00",  // what is left after a part payment
        "CASHIER COPY",
        "KEEP YOUR RECEIPT FOR 30 DAYS",
        "BON DE REDUCTION",
        "RETOUR                7,50",  // change in Dutch, a return in French
        "12.08.2026 14:00",
        "TOTAL 12.5",  // money has two decimals
        "Milch 1,29 A",
    };
    for (const char* line : lines)
        EXPECT_EQ(Read(line), "") << line;
}

TEST(BuiltinTemplate, TendersAndChangeComeOnlyAfterTheTotalAndSlipNumbersAreNotTheTills) {
    EXPECT_EQ(Read("CARD                  2.99", false), "");
    EXPECT_EQ(Read("CHANGE                1.00", false), "");
    EXPECT_EQ(Read("CARD                  2.99", true), "Tender 2.99 CARD");
    EXPECT_EQ(Read("TRANS. NR 000456", true, true), "");
    EXPECT_EQ(Read("TRANS. NR 000456", true, false), "Number 000456");
}

TEST(BuiltinTemplate, WordTablesAreInFoldedFormAndListEachPhraseOnce) {
    EXPECT_EQ(BuiltinWordProblems(), std::vector<std::string>());
    TextFolder folder(1252);
    EXPECT_STREQ(TenderClassName("Espèces", folder), "");  // the name is in page 1252 here
    EXPECT_STREQ(TenderClassName(Utf8ToCp1252("Espèces"), folder), "CASH");
    EXPECT_STREQ(TenderClassName("EC-Karte", folder), "CARD");
    EXPECT_STREQ(TenderClassName("GIFT CARD", folder), "VOUCHER");
    EXPECT_STREQ(TenderClassName("COIN", folder), "");
}

}  // namespace

namespace {

std::string ReadIn(int codePage, const std::string& text) {
    ReceiptTemplate builtin(codePage);
    FoldedLine line;
    builtin.Folder().Fold(text, &line);
    ReadContext context;
    context.totalSeen = true;
    PatternScratch scratch;
    LineReadings readings;
    builtin.Read(line, text, context, &scratch, &readings);
    std::string out;
    for (int i = 0; i < readings.count; ++i)
        out += std::string(ReceiptFieldName(readings.items[i].field)) + " " +
               MoneyText(readings.items[i].amount) + " " + readings.items[i].text + ";";
    return out;
}

TEST(BuiltinTemplate, EachCodePageHasItsOwnLettersAndEuroSign) {
    EXPECT_EQ(ReadIn(kUtf8CodePage,
                     "R\xC3\xBC"
                     "ckgeld 7,50 \xE2\x82\xAC"),
              "Change 7.50 ;");
    EXPECT_EQ(ReadIn(kUtf8CodePage,
                     "Le atendi\xC3\xB3: Mar\xC3\xAD"
                     "a"),
              "Cashier 0.00 Mar\xC3\xAD"
              "a;");
    EXPECT_EQ(ReadIn(1251, "TOTAL 5.00 \x88"), "Total 5.00 ;");  // the euro sign of the Cyrillic page
    EXPECT_EQ(ReadIn(1251, "TOTAL \x80 5.00"), "");              // 0x80 is a letter there
    EXPECT_EQ(ReadIn(1251,
                     "R\xFC"
                     "CKGELD 7,50"),
              "");  // no Latin letters folded in it
}

}  // namespace
