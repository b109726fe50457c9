// The reader's receipts: where they end, when they are handed on, and whose drawer is whose.
#include <gtest/gtest.h>

#include "receipt/receipt_settings.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

std::shared_ptr<const ExceptionRules> Defaults(int graceSeconds = 3) {
    ExceptionOptions options;
    options.drawerGraceSeconds = graceSeconds;
    return std::make_shared<const ExceptionRules>(options, 1252);
}

std::shared_ptr<const ReceiptTemplate> Builtin() {
    return std::make_shared<const ReceiptTemplate>(1252);
}

TEST(ReceiptReader, ADrawerJustAfterTheCutBelongsToTheSaleThatEnded) {
    Till till(Builtin(), Defaults());
    till.Receipt({"TOTAL 5.00", "CASH 5.00"});
    EXPECT_TRUE(till.done.empty());  // it waits for its drawer
    till.Wait(1000);
    till.Drawer();
    ASSERT_EQ(till.done.size(), 1u);  // and goes on as soon as the drawer opened
    EXPECT_TRUE(till.done[0].transaction.drawer);
    EXPECT_EQ(till.Exceptions(), "");

    till.Receipt({"TOTAL 6.00", "CARD 6.00"});
    till.Wait(2800);  // 2.9 s after the last line
    EXPECT_EQ(till.done.size(), 1u);
    till.Wait(100);  // the grace has passed
    ASSERT_EQ(till.done.size(), 2u);
    EXPECT_FALSE(till.done[1].transaction.drawer);
}

TEST(ReceiptReader, ADrawerBetweenReceiptsIsANoSaleUnlessAReceiptBeginsWithinTheGrace) {
    Till till(Builtin(), Defaults());
    till.Drawer();
    till.Wait(2000);
    till.Receipt({"SODA 1.99", "TOTAL 1.99", "CASH 2.00"});  // kicked before printing
    till.Wait(10000);
    till.Drawer();
    till.Drawer();  // twice: the first had no receipt
    till.Wait(5000);
    ASSERT_EQ(till.done.size(), 3u);
    EXPECT_TRUE(till.done[0].transaction.drawer);
    EXPECT_EQ(till.done[0].transaction.lines, 3);
    for (int i : {1, 2}) {
        const ReadReceipt& r = till.done[i];
        EXPECT_EQ(r.transaction.lines, 0);
        EXPECT_TRUE(r.transaction.drawer);
        ASSERT_EQ(r.exceptions.size(), 1u);
        EXPECT_EQ(r.exceptions[0].kind, "no-sale");
        EXPECT_EQ(r.exceptions[0].banner, "*** NO SALE ***");
        EXPECT_EQ(r.exceptions[0].line, "");
        EXPECT_EQ(r.transaction.receipt, 2u);  // the number the drawer event carried
    }
}

TEST(ReceiptReader, ADrawerOnAReceiptWithoutASaleIsANoSaleWithoutGrace) {
    Till till(Builtin(), Defaults(0));
    till.Print("FRESH MARKET");
    till.Drawer();
    till.Print("COPY", true);
    ASSERT_EQ(till.done.size(), 1u);  // no grace: handed on at its end
    EXPECT_EQ(till.Exceptions(), "no-sale");
    till.Receipt({"MILK 1.29"});  // an item line is a sale, though no total was read
    till.Drawer();
    till.Drawer();
    ASSERT_EQ(till.done.size(), 4u);
    EXPECT_EQ(till.Exceptions(), "no-sale; no-sale; no-sale");
    EXPECT_FALSE(till.done[1].transaction.drawer);
}

TEST(ReceiptReader, AReceiptEndsAtItsEndLineAtAnotherReceiptsLineAndWhenTold) {
    Till till(Builtin(), Defaults(0));
    till.Print("A");
    till.Print("B", true);
    till.Print("C");
    till.receipt = 7;  // the end line was dropped by the filter: the next line has another number
    till.Print("D");
    till.open = false;  // a line flagged first while a receipt is open
    till.Print("E");
    till.reader.EndReceipt(&till.done);
    till.Print("F");
    till.Flush();
    std::vector<int> lines;
    std::vector<uint32_t> receipts;
    for (const ReadReceipt& r : till.done) {
        lines.push_back(r.transaction.lines);
        receipts.push_back(r.transaction.receipt);
    }
    EXPECT_EQ(lines, (std::vector<int>{2, 1, 1, 1, 1}));
    EXPECT_EQ(receipts, (std::vector<uint32_t>{1, 2, 7, 7, 7}));
    EXPECT_EQ(till.done[0].transaction.firstUtcMilliseconds, kGoldenStart);
    EXPECT_EQ(till.done[0].transaction.lastUtcMilliseconds, kGoldenStart + 100);
    EXPECT_EQ(till.done[0].transaction.source, "COM3");
}

TEST(ReceiptReader, OtherRulesTakeOverTheReceiptUnderWay) {
    Till till(Builtin(), Defaults());
    till.Print("VOID");
    SettingSection rule;
    rule.number = 1;
    rule.keys = {{"Name", "Big"}, {"Match", "total > 10"}};
    SettingSection line;
    line.number = 2;
    line.keys = {{"Name", "Gift"}, {"Line", "GIFT"}};
    till.reader.Reconfigure(Builtin(),
                            ExceptionRules::Compile(ExceptionOptions(), {rule, line}, 1252, nullptr));
    EXPECT_EQ(till.Print("GIFT CARD"), kReceiptImportantLine);
    till.Print("TOTAL 20.00", true);
    till.Flush();
    EXPECT_EQ(till.Exceptions(), "void; Gift; Big 20.00");
}

TEST(ReceiptReader, WithoutATemplateNothingIsReadAndWithoutRulesNoExceptions) {
    Till none(nullptr, Defaults());
    EXPECT_EQ(none.Print("VOID", true), 0);
    none.Drawer();
    none.Flush();
    EXPECT_TRUE(none.done.empty());

    Till plain(Builtin(), nullptr);
    EXPECT_EQ(plain.Print("VOID"), 0);
    plain.Print("TOTAL 1.00", true);
    plain.Flush();
    ASSERT_EQ(plain.done.size(), 1u);
    EXPECT_EQ(plain.done[0].transaction.voids, 1);
    EXPECT_EQ(plain.done[0].transaction.total, 100);
    EXPECT_TRUE(plain.done[0].exceptions.empty());
}

}  // namespace
