// The journal's drawer, transaction and exception records: their exact form, and reading them
// back.
#include <gtest/gtest.h>

#include "receipt/receipt_records.h"
#include "receipt_test_support.h"

using namespace zamri;

namespace {

Transaction Sample() {
    Transaction t;
    t.camera = 3;
    t.source = "COM3";
    t.receipt = 17;
    t.firstUtcMilliseconds = kGoldenStart;
    t.firstUtcOffsetMinutes = 60;
    t.lastUtcMilliseconds = kGoldenStart + 31250;
    t.lastUtcOffsetMinutes = 60;
    t.lines = 14;
    t.total = 1250;
    t.tenders = {{"CASH", 2000}};
    t.change = 750;
    t.cashier = "17";
    t.register_ = "3";
    t.number = "004217";
    t.voids = 1;
    t.drawer = true;
    return t;
}

TEST(ReceiptRecords, RecordsHaveTheJournalsFormOneLineEach) {
    std::string out;
    DrawerEvent d;
    d.utcMilliseconds = kGoldenStart + 300;
    d.utcOffsetMinutes = -300;
    d.camera = 12;
    d.source = "tcp://10.0.0.5:9100";
    d.receipt = 4;
    AppendDrawerRecord(d, &out);
    AppendTransactionRecord(Sample(), &out);
    ReceiptException e;
    e.kind = "refund";
    e.amount = -1250;
    e.line = "REFUND 12.50";
    e.utcMilliseconds = kGoldenStart + 20000;
    e.utcOffsetMinutes = 60;
    e.camera = 3;
    e.source = "COM3";
    e.receipt = 17;
    AppendExceptionRecord(e, &out);
    EXPECT_EQ(
        out,
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T08:00:00.300-05:00\",\"camera\":12,"
        "\"source\":\"tcp://10.0.0.5:9100\",\"receipt\":4}\n"
        "{\"event\":\"transaction\",\"time\":\"2026-12-08T14:00:31.250+01:00\",\"camera\":3,\"source\":"
        "\"COM3\","
        "\"receipt\":17,\"first\":\"2026-12-08T14:00:00.000+01:00\",\"lines\":14,\"subtotal\":null,"
        "\"total\":12.5,\"tenders\":[{\"name\":\"CASH\",\"amount\":20.0}],\"change\":7.5,\"cashier\":\"17\","
        "\"register\":\"3\",\"number\":\"004217\",\"voids\":1,\"drawer\":true}\n"
        "{\"event\":\"exception\",\"time\":\"2026-12-08T14:00:20.000+01:00\",\"camera\":3,\"source\":"
        "\"COM3\","
        "\"receipt\":17,\"cashier\":null,\"kind\":\"refund\",\"amount\":-12.5,\"line\":\"REFUND 12.50\"}\n");
}

TEST(ReceiptRecords, TextsAreEscapedAndConvertedToUtf8) {
    Transaction t = Sample();
    t.cashier = "M\xFCller \"J\"\t\x01";  // page 1252
    t.tenders = {
        {"ESP\xC8"
         "CES\\",
         100}};
    std::string converted;
    AppendTransactionRecord(t, &converted, Cp1252ToUtf8);
    EXPECT_NE(converted.find("\"cashier\":\"M\xC3\xBCller \\\"J\\\"\\t\\u0001\""), std::string::npos);
    EXPECT_NE(converted.find("{\"name\":\"ESP\xC3\x88"
                             "CES\\\\\",\"amount\":1.0}"),
              std::string::npos);
    std::string raw;
    AppendTransactionRecord(t, &raw);  // bytes that are no UTF-8 become U+FFFD
    EXPECT_NE(raw.find("\"cashier\":\"M\xEF\xBF\xBDller"), std::string::npos);
}

TEST(ReceiptRecords, RecordsReadBackWhateverTheirKeyOrder) {
    std::string out;
    Transaction t = Sample();
    t.subtotal = -5;
    t.tenders.push_back({"VISA \xE2\x82\xAC", 12345});
    AppendTransactionRecord(t, &out);
    ReceiptRecord r;
    ASSERT_TRUE(ReadReceiptRecord(out.substr(0, out.size() - 1), &r));
    ASSERT_EQ(r.kind, ReceiptRecordKind::Transaction);
    const Transaction& b = r.transaction;
    EXPECT_EQ(b.camera, 3);
    EXPECT_EQ(b.source, "COM3");
    EXPECT_EQ(b.receipt, 17u);
    EXPECT_EQ(b.firstUtcMilliseconds, t.firstUtcMilliseconds);
    EXPECT_EQ(b.lastUtcMilliseconds, t.lastUtcMilliseconds);
    EXPECT_EQ(b.lastUtcOffsetMinutes, 60);
    EXPECT_EQ(b.lines, 14);
    EXPECT_EQ(b.subtotal, -5);
    EXPECT_EQ(b.total, 1250);
    ASSERT_EQ(b.tenders.size(), 2u);
    EXPECT_EQ(b.tenders[1].name, "VISA \xE2\x82\xAC");
    EXPECT_EQ(b.tenders[1].amount, 12345);
    EXPECT_EQ(b.change, 750);
    EXPECT_EQ(b.cashier, "17");
    EXPECT_EQ(b.register_, "3");
    EXPECT_EQ(b.number, "004217");
    EXPECT_EQ(b.voids, 1);
    EXPECT_TRUE(b.drawer);

    ASSERT_TRUE(ReadReceiptRecord(
        "{ \"line\" : \"VOID \\\"X\\\" \\u00e9\\ud83d\\ude00\", \"extra\":[1,{\"a\":[]}],"
        "\"kind\":\"Night void\",\"amount\":null,\"camera\":5,\"receipt\":2,"
        "\"cashier\":\"Ann\",\"time\":\"2026-12-08T23:59:59.999+00:00\",\"event\":\"exception\"}",
        &r));
    ASSERT_EQ(r.kind, ReceiptRecordKind::Exception);
    EXPECT_EQ(r.exception.kind, "Night void");
    EXPECT_FALSE(r.exception.amount.has_value());
    EXPECT_EQ(r.exception.line, "VOID \"X\" \xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(r.exception.cashier, "Ann");
    EXPECT_EQ(r.exception.camera, 5);
    EXPECT_EQ(r.exception.utcMilliseconds, 1796774399999);

    ASSERT_TRUE(ReadReceiptRecord(
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1}", &r));
    EXPECT_EQ(r.kind, ReceiptRecordKind::Drawer);
    EXPECT_EQ(r.drawer.utcMilliseconds, kGoldenStart);
}

TEST(ReceiptRecords, LinesThatAreNoReceiptRecordAreRefused) {
    const char* const lines[] = {
        "{\"time\":\"2026-12-08T14:02:11.300+01:00\",\"camera\":3,\"flags\":2,\"source\":\"COM3\","
        "\"receipt\":17,"
        "\"text\":\"TOTAL 12.50\"}",  // a line record
        "{\"event\":\"drawer\",\"camera\":1}",
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T14:00:00.000+01:00\"}",
        "{\"event\":\"drawer\",\"time\":\"2026-12-08 14:00:00\",\"camera\":1}",
        "{\"event\":\"exception\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1,\"amount\":1.5}",
        "{\"event\":\"transaction\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1,\"total\":1.234}",
        "{\"event\":\"transaction\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1,\"tenders\":[{"
        "\"name\":\"X\"}]}",
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1} x",
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1",
        "{\"event\":\"drawer\",\"time\":\"2026-12-08T14:00:00.000+01:00\",\"camera\":1,\"x\":[[[[[[[[[[1]]]]]"
        "]]]]]}",
        "",
    };
    for (const char* line : lines) {
        ReceiptRecord r;
        EXPECT_FALSE(ReadReceiptRecord(line, &r)) << line;
    }
}

}  // namespace
