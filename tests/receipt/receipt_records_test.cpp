// The journal's drawer, transaction and exception records: their exact form, and the journal
// reading them back.
#include <gtest/gtest.h>

#include "receipt/receipt_records.h"

#include "journal/event_record.h"
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

// The journal reads what the receipt reader writes: zamri-find, the page and the digest see the
// same fields the reader found.
TEST(ReceiptRecords, TheJournalReadsTheRecordsBack) {
    std::string out;
    Transaction t = Sample();
    t.subtotal = -5;
    t.tenders.push_back({"VISA \xE2\x82\xAC", 12345});
    AppendTransactionRecord(t, &out);
    EventRecord r;
    ASSERT_TRUE(ParseEventRecord(out.substr(0, out.size() - 1), &r));
    EXPECT_EQ(r.event, "transaction");
    EXPECT_EQ(r.camera, 3);
    EXPECT_EQ(r.source, "COM3");
    EXPECT_EQ(r.receipt, 17);
    EXPECT_EQ(r.utcMilliseconds, t.lastUtcMilliseconds);
    EXPECT_EQ(r.utcOffsetMinutes, 60);
    EXPECT_EQ(r.first, FormatReceiptTime(t.firstUtcMilliseconds, t.firstUtcOffsetMinutes));
    EXPECT_EQ(r.lines, 14);
    EXPECT_EQ(r.subtotal, -0.05);
    EXPECT_EQ(r.total, 12.5);
    ASSERT_EQ(r.tenders.size(), 2u);
    EXPECT_EQ(r.tenders[1].name, "VISA \xE2\x82\xAC");
    EXPECT_EQ(r.tenders[1].amount, 123.45);
    EXPECT_EQ(r.change, 7.5);
    EXPECT_EQ(r.cashier, "17");
    EXPECT_EQ(r.registerId, "3");
    EXPECT_EQ(r.number, "004217");
    EXPECT_EQ(r.voids, 1);
    EXPECT_EQ(r.drawer, true);

    ReceiptException e;
    e.utcMilliseconds = kGoldenStart;
    e.utcOffsetMinutes = 60;
    e.camera = 5;
    e.kind = "Night void";
    e.line = "VOID \"X\"\t";
    out.clear();
    AppendExceptionRecord(e, &out);
    ASSERT_TRUE(ParseEventRecord(out.substr(0, out.size() - 1), &r));
    EXPECT_EQ(r.event, "exception");
    EXPECT_EQ(r.kind, "Night void");
    EXPECT_FALSE(r.amount.has_value());
    EXPECT_EQ(r.line, "VOID \"X\"\t");
    EXPECT_EQ(r.cashier, "");
    EXPECT_EQ(r.utcMilliseconds, kGoldenStart);

    DrawerEvent d;
    d.utcMilliseconds = kGoldenStart;
    d.camera = 1;
    out.clear();
    AppendDrawerRecord(d, &out);
    ASSERT_TRUE(ParseEventRecord(out.substr(0, out.size() - 1), &r));
    EXPECT_EQ(r.event, "drawer");
    EXPECT_EQ(r.camera, 1);
}

}  // namespace
