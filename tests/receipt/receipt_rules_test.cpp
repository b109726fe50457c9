// Exceptions: the built-in kinds' thresholds, the users' rules (fields, cashier filters, time
// windows, sequences) and the messages for rules and settings that cannot be used.
#include <gtest/gtest.h>

#include "receipt/receipt_settings.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

SettingSection Section(int number, std::initializer_list<std::pair<const char*, const char*>> keys) {
    SettingSection s;
    s.number = number;
    for (const auto& k : keys)
        s.keys.push_back({k.first, k.second});
    return s;
}

std::shared_ptr<const ExceptionRules> Rules(const std::vector<SettingSection>& sections,
                                            const ExceptionOptions& options = ExceptionOptions(),
                                            std::vector<std::string>* errors = nullptr) {
    std::vector<std::string> local;
    auto rules = ExceptionRules::Compile(options, sections, 1252, errors != nullptr ? errors : &local);
    if (errors == nullptr) {
        EXPECT_EQ(local, std::vector<std::string>());
    }
    return rules;
}

std::shared_ptr<const ReceiptTemplate> Builtin() {
    return std::make_shared<const ReceiptTemplate>(1252);
}

TEST(ReceiptRules, ThresholdsDecideAtTheLineWhenItShowsTheAmountElseAtTheEnd) {
    ExceptionOptions options;
    options.kinds[static_cast<int>(ExceptionKind::Void)].threshold = 500;
    options.kinds[static_cast<int>(ExceptionKind::Refund)].threshold = 10000;
    options.kinds[static_cast<int>(ExceptionKind::Discount)].on = false;
    Till till(Builtin(), Rules({}, options));
    EXPECT_EQ(till.Print("VOID SOCKS  -4.99"), 0);
    EXPECT_EQ(till.Print("VOID JACKET -49.00"), kReceiptImportantLine);
    EXPECT_EQ(till.Print("DISCOUNT    -5.00"), 0);
    till.Print("TOTAL 20.00", true);
    // A refund receipt is over the threshold only by its total, known at its end: a banner.
    EXPECT_EQ(till.Print("*** REFUND ***"), 0);
    till.Receipt({"TV 120.00", "TOTAL -120.00", "CASH -120.00"});
    till.Flush();
    EXPECT_EQ(till.Exceptions(), "void -49.00; refund -120.00");
    ASSERT_EQ(till.done.size(), 2u);
    EXPECT_EQ(till.done[0].transaction.voids, 2);
    const ReceiptException& refund = till.done[1].exceptions[0];
    EXPECT_FALSE(refund.atLine);
    EXPECT_EQ(refund.banner, "*** REFUND 120.00 ***");
    EXPECT_EQ(refund.line, "*** REFUND ***");
}

TEST(ReceiptRules, FieldRulesFilterByCashierAndTender) {
    auto rules = Rules({
        Section(1,
                {{"Name", "Big cash sale"}, {"Match", "total > 100 and tender = CASH and cashier = 17, 23"}}),
        Section(2, {{"Name", "Not card"}, {"Match", "tender != CARD"}, {"Banner", "0"}}),
        Section(3, {{"Name", "Refund by 23"}, {"Match", "kind = refund and cashier = 23"}}),
        Section(4, {{"Name", "Big refund by 23"},
                    {"Line", "REFUND {amount}"},
                    {"Match", "amount >= 5 and cashier = 23"}}),
    });
    Till till(Builtin(), rules);
    till.Receipt({"CASHIER: 017", "TOTAL 150.00", "BAR 150.00"});  // 017 is 17, BAR is cash
    till.Receipt({"CASHIER: 18", "TOTAL 150.00", "CASH 150.00"});  // another cashier
    till.Receipt({"TOTAL 150.00", "CASH 150.00"});                 // no cashier: no filter met
    // The first refund line is too small for rule 4; the second one meets it.
    till.Receipt({"CASHIER: 23", "REFUND 1.00", "REFUND 5.00", "TOTAL -6.00", "VISA -6.00"});
    till.Flush();
    EXPECT_EQ(till.Exceptions(),
              "Big cash sale 150.00; Not card; Not card; Not card; refund -1.00; refund -5.00; "
              "Big refund by 23 5.00; Refund by 23");
    const ReceiptException& first = till.done[0].exceptions[0];
    EXPECT_EQ(first.line, "TOTAL 150.00");
    EXPECT_EQ(first.cashier, "017");
    EXPECT_EQ(first.banner, "*** BIG CASH SALE 150.00 ***");
    EXPECT_EQ(till.done[0].exceptions[1].banner, "");
}

TEST(ReceiptRules, TimeWindowsUseLocalTimeAndMayPassMidnight) {
    const struct {
        const char* text;
        int minute;  // local minute of the day
        bool inside;
    } cases[] = {
        {"22:00-06:00", 23 * 60 + 30, true},
        {"22:00-06:00", 5 * 60 + 59, true},
        {"22:00-06:00", 6 * 60, false},
        {"22:00-06:00", 14 * 60, false},
        {"9:00-17:30", 17 * 60 + 29, true},
        {"9:00-17:30", 8 * 60, false},
        {"00:00-24:00", 0, true},
    };
    for (const auto& c : cases) {
        TimeWindow w;
        std::string error;
        ASSERT_EQ(ParseTimeWindow(c.text, &w, &error), 1) << error;
        // UTC midnight plus the minute, seen from +01:00.
        int64_t utc = 1796688000000LL + (c.minute - 60) * 60000LL;
        EXPECT_EQ(w.Contains(utc, 60), c.inside) << c.text << " " << c.minute;
    }
    for (const char* bad : {"22-06", "25:00-06:00", "22:00", "06:00-06:00", "24:00-06:00", "10:61-11:00"}) {
        TimeWindow w;
        std::string error;
        EXPECT_EQ(ParseTimeWindow(bad, &w, &error), 0) << bad;
        EXPECT_FALSE(error.empty());
    }

    auto rules = Rules({Section(1, {{"Name", "Late void"}, {"Line", "VOID"}, {"Hours", "22:00-06:00"}})});
    Till till(Builtin(), rules);
    EXPECT_EQ(till.Print("VOID"), kReceiptImportantLine);  // the built-in kind, at 14:00
    till.Print("TOTAL 1.00", true);
    till.clock.now += 9 * 3600000LL;  // 23:00
    till.Print("VOID", true);
    till.Flush();
    EXPECT_EQ(till.Exceptions(), "void; void; Late void");
}

TEST(ReceiptRules, SequencesCompleteOnTheCameraWithinTheirTime) {
    ExceptionOptions options;
    options.kinds[static_cast<int>(ExceptionKind::Void)].on = false;  // sequences still see voids
    auto rules = Rules(
        {
            Section(
                1, {{"Name", "Void then no sale"}, {"First", "void"}, {"Then", "no-sale"}, {"Within", "60"}}),
            Section(2, {{"Name", "Two voids"}, {"First", "void"}, {"Then", "void"}, {"Within", "30"}}),
            Section(3, {{"Name", "Twice over"},
                        {"First", "Two voids"},
                        {"Then", "Void then no sale"},
                        {"Within", "600"}}),
        },
        options);
    Till till(Builtin(), rules);
    till.Receipt({"VOID", "VOID", "VOID", "TOTAL 1.00", "CASH 1.00"});
    till.Wait(20000);
    till.Drawer();  // no sale 20 s after the voids: within 60 s
    till.Wait(5000);
    till.Wait(100000);
    till.Drawer();  // 100 s later: the void is too long ago
    till.Wait(5000);
    till.Flush();
    // Three voids make one pair (the third begins a new one that never completes).
    EXPECT_EQ(till.Exceptions(), "Two voids; no-sale; Void then no sale; Twice over; no-sale");
    ASSERT_EQ(till.done.size(), 3u);
    EXPECT_EQ(till.done[1].exceptions[1].banner, "*** VOID THEN NO SALE ***");
}

TEST(ReceiptRules, ARuleThatCannotBeUsedIsReportedAndTheOthersWork) {
    const struct {
        SettingSection section;
        const char* message;
    } cases[] = {
        {Section(1, {{"Line", "VOID"}}), "[Rule 1] has no Name. The rule is not used."},
        {Section(2, {{"Name", "void"}, {"Line", "VOID"}}),
         "[Rule 2] Name: \"void\" is the name of a built-in kind. The rule is not used."},
        {Section(3, {{"Name", "X"}}), "[Rule 3] needs Line, Match, or First and Then. The rule is not used."},
        {Section(4, {{"Name", "Y"}, {"Line", "TOTAL {amont}"}}),
         "[Rule 4] Line: The pattern \"TOTAL {amont}\" has an unknown field {amont}: the fields are "
         "{amount}, "
         "{text}, {word} and {number}. The rule is not used."},
        {Section(5, {{"Name", "Z"}, {"Match", "total >> 5"}}),
         "[Rule 5] Match: The condition \"total >> 5\" needs an amount, like 100 or 99.50. The rule is not "
         "used."},
        {Section(6, {{"Name", "W"}, {"Match", "cashier > 5"}}),
         "[Rule 6] Match: The condition \"cashier > 5\" compares a text: only = and != can. The rule is not "
         "used."},
        {Section(7, {{"Name", "V"}, {"Match", "amount > 5"}}),
         "[Rule 7] Match: \"amount\" is the amount of the Line pattern's {amount}, and there is none. The "
         "rule "
         "is not used."},
        {Section(8, {{"Name", "U"}, {"First", "void"}, {"Then", "nosale"}, {"Within", "60"}}),
         "[Rule 8] Then: \"nosale\" is no built-in kind, no rule, and no sequence before this one. The rule "
         "is "
         "not used."},
        {Section(9, {{"Name", "T"}, {"First", "void"}, {"Then", "T"}, {"Within", "60"}}),
         "[Rule 9] Then: \"T\" is no built-in kind, no rule, and no sequence before this one. The rule is "
         "not "
         "used."},
        {Section(10, {{"Name", "S"}, {"First", "void"}, {"Then", "refund"}, {"Within", "0"}}),
         "[Rule 10] Within: \"0\" is no number of seconds from 1 to 86400. The rule is not used."},
        {Section(11, {{"Name", "R"}, {"Line", "X"}, {"Hours", "night"}}),
         "[Rule 11] Hours: \"night\" is no time of day window like 22:00-06:00. The rule is not used."},
        {Section(12, {{"Name", "Good"}, {"Line", "VOID"}, {"Colour", "red"}}),
         "[Rule 12] has no key \"Colour\" (the keys are Name, Line, Match, First, Then, Within, Hours and "
         "Banner); "
         "it is ignored."},
        {Section(13, {{"Name", "good"}, {"Line", "X"}}),
         "[Rule 13] Name: \"good\" is the name of another rule. The rule is not used."},
        {Section(14, {{"Name", "Q"}, {"Match", "kind = voids"}}),
         "[Rule 14] Match: The condition \"kind = voids\": \"voids\" is no built-in kind (void, refund, "
         "no-sale, discount, price-override or cancel). The rule is not used."},
        {Section(100, {{"Name", "P"}, {"Line", "X"}}),
         "[Rule 100] is outside [Rule 1] to [Rule 99]. The rule is not used."},
    };
    std::vector<SettingSection> sections;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        sections.push_back(c.section);
        expected.push_back(c.message);
    }
    std::vector<std::string> errors;
    auto rules = Rules(sections, ExceptionOptions(), &errors);
    EXPECT_EQ(errors, expected);
    ASSERT_EQ(rules->Rules().size(), 1u);
    Till till(Builtin(), rules);
    EXPECT_EQ(till.Print("ITEM VOID", true), kReceiptImportantLine);
    till.Flush();
    EXPECT_EQ(till.Exceptions(), "void; Good");
}

TEST(ReceiptRules, OptionsAndTheChannelsTemplateParseWithTheirDefaults) {
    ExceptionOptions options;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseExceptionOptions({{"exceptionvoid", "0"},
                                     {"ExceptionRefundThreshold", "49,90"},
                                     {"ExceptionCancelBanner", "0"},
                                     {"DrawerGrace", "0"},
                                     {"Journal", "D:\\receipts"},
                                     {"ExceptionDiscountThreshold", "-1"},
                                     {"ExceptionNoSale", "yes"},
                                     {"DrawerGrace", "61"}},
                                    &options, &errors),
              3);
    EXPECT_FALSE(options.kinds[static_cast<int>(ExceptionKind::Void)].on);
    EXPECT_EQ(options.kinds[static_cast<int>(ExceptionKind::Refund)].threshold, 4990);
    EXPECT_FALSE(options.kinds[static_cast<int>(ExceptionKind::Cancel)].banner);
    EXPECT_EQ(options.kinds[static_cast<int>(ExceptionKind::Discount)].threshold, 0);
    EXPECT_TRUE(options.kinds[static_cast<int>(ExceptionKind::NoSale)].on);
    EXPECT_EQ(options.drawerGraceSeconds, 0);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "[Options] ExceptionDiscountThreshold: \"-1\" is no amount of 0 or more, like 5 or "
                          "49.90; 0 is used.",
                          "[Options] ExceptionNoSale: \"yes\" is neither 1 nor 0; the default (1) is used.",
                          "[Options] DrawerGrace: \"61\" is no number of seconds from 0 to 60; 3 is used."}));
    EXPECT_EQ(ReceiptOptionKeys().size(), 18u);

    const struct {
        const char* value;
        int ok;
        int choice;
    } choices[] = {{"", 1, kBuiltinTemplate},
                   {"Builtin", 1, kBuiltinTemplate},
                   {"NONE", 1, kNoTemplate},
                   {" 7 ", 1, 7},
                   {"32", 1, 32},
                   {"33", 0, kBuiltinTemplate},
                   {"0", 0, kBuiltinTemplate},
                   {"two", 0, kBuiltinTemplate}};
    for (const auto& c : choices) {
        int choice = 99;
        std::string error;
        EXPECT_EQ(ParseTemplateChoice(c.value, &choice, &error), c.ok) << c.value;
        EXPECT_EQ(choice, c.choice) << c.value;
    }
}

TEST(ReceiptRules, ATemplateKeyThatCannotBeUsedIsReportedAndTheOthersRead) {
    std::vector<std::string> errors;
    auto t = ReceiptTemplate::Compile(Section(2, {{"Total", "TOT {amount}"},
                                                  {"Cashier", "OP {amount}"},
                                                  {"Tender", "{amount}"},
                                                  {"NoSale", "NS {amount}"},
                                                  {"Change", "BACK {amount}|RETURNED {amount"},
                                                  {"Builtin", "2"},
                                                  {"Totl", "X"}}),
                                      1252, &errors);
    EXPECT_EQ(
        errors,
        (std::vector<std::string>{
            "[Template 2] Cashier: The pattern \"OP {amount}\" has none of {text}, {word} and {number}, one "
            "of "
            "which this field needs.",
            "[Template 2] Tender: The pattern \"{amount}\" names no tender: write its name before {amount}, "
            "or "
            "take it with {word}.",
            "[Template 2] NoSale: The pattern \"NS {amount}\" has an {amount}, which this field does not "
            "take.",
            "[Template 2] Change: The pattern \"RETURNED {amount\" has a { without its } (write \\{ for the "
            "character itself).",
            "[Template 2] Builtin: \"2\" is neither 1 nor 0.",
            "[Template 2] has no key \"Totl\": the keys are Name, Builtin, Total, Subtotal, Tender, Change, "
            "Cashier, Register, Number, Void, Refund, Discount, PriceOverride, NoSale and Cancel."}));
    Till till(t, nullptr);
    till.Receipt({"TOT 5.00", "TOTAL 7.00", "CASH 5.00", "CHANGE 0.10"});
    till.Flush();
    ASSERT_EQ(till.done.size(), 1u);
    const Transaction& tr = till.done[0].transaction;
    EXPECT_EQ(tr.total, 500);  // the user's pattern reads the total; the built-in one, the rest
    ASSERT_EQ(tr.tenders.size(), 1u);
    EXPECT_EQ(tr.change, 10);
}

}  // namespace
