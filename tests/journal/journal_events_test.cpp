// The journal's event records read back: exceptions and transactions by kind, camera and time,
// malformed records skipped and counted, the CSV columns and quoting, the exceptions report,
// zamri-find's event options, and the line search passing event records over.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "journal/event_output.h"
#include "journal/journal_events.h"
#include "journal/journal_files.h"
#include "journal/journal_record.h"
#include "journal/journal_search.h"
#include "platform/os.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"
#include "text/csv_field.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::TempDir;

constexpr int64_t kDay = 86400000;
constexpr int64_t kMinute = 60000;
const int64_t kDec8 = zamri::DaysFromCivil(2026, 12, 8);

const char kVoid[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-08T10:02:00.000+01:00\",\"camera\":1,\"source\":\"COM3\","
    "\"receipt\":10,\"kind\":\"void\",\"amount\":-1.2,\"line\":\"VOID BREAD -1.20\",\"cashier\":\"17\"}";
const char kRefund[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-08T11:00:00.000+01:00\",\"camera\":2,\"source\":\"10.0.0."
    "2\","
    "\"receipt\":4,\"kind\":\"refund\",\"amount\":-12.5,\"line\":\"REFUND \\\"MILK\\\", "
    "12.50\",\"cashier\":\"8\"}";
const char kSale[] =
    "{\"event\":\"transaction\",\"time\":\"2026-12-08T10:03:00.000+01:00\",\"camera\":1,\"source\":\"COM3\","
    "\"receipt\":10,\"first\":\"2026-12-08T10:01:00.000+01:00\",\"total\":12.5,\"subtotal\":null,"
    "\"tenders\":[{\"name\":\"CASH\",\"amount\":20.0},{\"name\":\"CARD\",\"amount\":5}],\"change\":7.5,"
    "\"cashier\":\"17\",\"register\":\"3\",\"number\":\"004217\",\"lines\":14,\"voids\":1,\"drawer\":true}";
const char kNoSale[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-09T09:00:00.000+01:00\",\"camera\":2,\"source\":\"10.0.0."
    "2\","
    "\"receipt\":5,\"kind\":\"no-sale\",\"amount\":null,\"line\":null,\"cashier\":null}";
const char kBare[] =
    "{\"event\":\"transaction\",\"time\":\"2026-12-09T09:30:00.000+01:00\",\"camera\":2,\"source\":\"10.0.0."
    "2\","
    "\"receipt\":6,\"first\":null,\"total\":null,\"subtotal\":null,\"tenders\":[],\"change\":null,"
    "\"cashier\":null,\"register\":null,\"number\":null,\"lines\":2,\"voids\":0,\"drawer\":false}";
const char kLateRefund[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-09T18:00:00.000+01:00\",\"camera\":1,\"source\":\"COM3\","
    "\"receipt\":11,\"kind\":\"refund\",\"amount\":-5,\"line\":\"RETURN 5.00\",\"cashier\":\"17\"}";

std::string LineRecord(int64_t localMinute, int camera, int flags, int64_t receipt, const std::string& text) {
    zamri::JournalRecord r;
    r.utcOffsetMinutes = 60;
    r.utcMilliseconds = localMinute * kMinute - 60 * kMinute;
    r.camera = camera;
    r.flags = flags;
    r.receipt = receipt;
    r.source = camera == 1 ? "COM3" : "10.0.0.2";
    r.text = text;
    std::string out;
    zamri::AppendRecordLine(r, &out);
    return out;
}

class JournalEventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = dir.File("journal");
        std::filesystem::create_directories(folder);
        int64_t day1 = kDec8 * 1440;
        int64_t day2 = day1 + 1440;
        // Events among the lines they were read from, a malformed one, a record the writer tore.
        WriteDay(kDec8,
                 LineRecord(day1 + 601, 1, 1, 10, "STORE 0042") + kVoid + "\n" +
                     LineRecord(day1 + 602, 1, 2, 10, "TOTAL 12.50") + kSale + "\n" +
                     "{\"event\":\"drawer\",\"time\":\"2026-12-08T10:03:00.100+01:00\",\"camera\":1,"
                     "\"source\":\"COM3\",\"receipt\":10}\n" +
                     "{\"event\":\"exception\",\"time\":\"yesterday\",\"camera\":2,\"kind\":\"void\"}\n" +
                     LineRecord(day1 + 659, 2, 3, 4, "REFUND MILK 12.50") + kRefund + "\n");
        WriteDay(kDec8 + 1,
                 std::string(kNoSale) + "\n" + kBare + "\n" +
                     "{\"event\":\"exception\",\"time\":\"2026-12-09T10:00:00.000+01:00\",\"camera\":1,"
                     "\"kind\":\"void\",\"amount\":\"a lot\"}\n" +
                     LineRecord(day2 + 1079, 1, 3, 11, "RETURN 5.00") + kLateRefund + "\n" +
                     "{\"event\":\"exception\",\"time\":\"2026-12-09T18:01");
    }

    void WriteDay(int64_t day, const std::string& text) {
        ASSERT_TRUE(
            testing_support::WriteFileBytes(zamri::JoinPath(folder, zamri::JournalFileName(day)), text));
    }

    // The stored records read for query, and the reading's figures.
    std::vector<std::string> Read(zamri::EventQuery query, zamri::EventStats* stats = nullptr) {
        zamri::JournalEventReader reader;
        std::string error;
        EXPECT_EQ(reader.Prepare(query, &error), 1) << error;
        std::vector<std::string> found;
        EXPECT_EQ(reader.Run(
                      folder,
                      [&](const zamri::EventRecord& r) {
                          found.push_back(r.stored);
                          return true;
                      },
                      stats, &error),
                  1)
            << error;
        return found;
    }

    static zamri::EventQuery Query(const char* event) {
        zamri::EventQuery q;
        q.event = event;
        return q;
    }

    TempDir dir;
    std::string folder;
};

TEST_F(JournalEventsTest, ReadsOneEventByKindCameraAndTimeSkippingMalformedOnes) {
    using V = std::vector<std::string>;
    zamri::EventStats stats;
    EXPECT_EQ(Read(Query("exception"), &stats), (V{kVoid, kRefund, kNoSale, kLateRefund}));
    EXPECT_EQ(stats.malformed, 2u);  // the bad time and the amount in words; the torn tail is not there
    EXPECT_EQ(stats.files, 2u);
    EXPECT_EQ(Read(Query("transaction")), (V{kSale, kBare}));

    zamri::EventQuery q = Query("exception");
    q.kind = "refund";
    EXPECT_EQ(Read(q), (V{kRefund, kLateRefund}));
    q.camera = 2;
    EXPECT_EQ(Read(q), (V{kRefund}));
    q = Query("exception");
    q.from = "2026-12-08T10:30";
    q.to = "2026-12-09T12";
    EXPECT_EQ(Read(q), (V{kRefund, kNoSale}));

    q = Query("exception");
    q.maxResults = 1;
    EXPECT_EQ(Read(q, &stats), (V{kVoid}));
    EXPECT_TRUE(stats.capped);
    EXPECT_EQ(stats.stoppedAt, "2026-12-08T11:00:00");
}

TEST_F(JournalEventsTest, LineSearchPassesEventRecordsOver) {
    zamri::JournalSearch search;
    std::string error;
    zamri::FindQuery every;
    every.linesOnly = true;
    ASSERT_EQ(search.Prepare(every, &error), 1);
    std::vector<std::string> texts;
    search.Run(
        folder,
        [&](const zamri::FoundReceipt& r) {
            texts.push_back(r.lines[0].record.text);
            return true;
        },
        nullptr, &error);
    EXPECT_EQ(texts,
              (std::vector<std::string>{"STORE 0042", "TOTAL 12.50", "REFUND MILK 12.50", "RETURN 5.00"}));
    // Whole receipts hold their lines only, and an exception's line is not searched as text.
    every.linesOnly = false;
    every.text = "void";
    ASSERT_EQ(search.Prepare(every, &error), 1);
    int results = 0;
    search.Run(
        folder,
        [&](const zamri::FoundReceipt&) {
            ++results;
            return true;
        },
        nullptr, &error);
    EXPECT_EQ(results, 0);
}

TEST(EventCsvTest, ColumnsAndQuoting) {
    struct Case {
        const char* record;
        const char* row;
    } cases[] = {
        {kVoid, "2026-12-08T10:02:00.000+01:00,1,COM3,10,void,-1.20,17,VOID BREAD -1.20\r\n"},
        {kRefund,
         "2026-12-08T11:00:00.000+01:00,2,10.0.0.2,4,refund,-12.50,8,\"REFUND \"\"MILK\"\", 12.50\"\r\n"},
        {kNoSale, "2026-12-09T09:00:00.000+01:00,2,10.0.0.2,5,no-sale,,,\r\n"},
        {kSale,
         "2026-12-08T10:03:00.000+01:00,1,COM3,10,004217,17,3,12.50,7.50,CASH 20.00; CARD "
         "5.00,14,1,true\r\n"},
        {kBare, "2026-12-09T09:30:00.000+01:00,2,10.0.0.2,6,,,,,,,2,0,false\r\n"},
    };
    for (const Case& c : cases) {
        zamri::EventRecord record;
        ASSERT_TRUE(zamri::ParseEventRecord(c.record, &record)) << c.record;
        std::string row;
        zamri::AppendEventCsvRow(record, &row);
        EXPECT_EQ(row, c.row);
    }
    std::string field;
    zamri::AppendCsvField("two\r\nlines", &field);
    EXPECT_EQ(field, "\"two\r\nlines\"");
}

TEST_F(JournalEventsTest, ZamriFindListsReportsAndRefusesBadCombinations) {
    char self[1024];
    ASSERT_GT(zamri::GetExecutablePath(self, sizeof self), 0);
    std::string program(self);
    program = program.substr(0, program.find_last_of("/\\") + 1) + "zamri-find";
    std::string out = dir.File("out.txt");
    std::string err = dir.File("err.txt");
    auto run = [&](const std::string& args) {
        return std::system(
            (program + " -q --journal " + folder + " " + args + " > " + out + " 2> " + err).c_str());
    };
    ASSERT_EQ(run("--exceptions --kind refund"), 0);
    EXPECT_EQ(
        ReadFileBytes(out),
        "2026-12-08 11:00:00.000  camera 2  receipt 4  10.0.0.2  refund  -12.50  cashier 8  "
        "REFUND \"MILK\", 12.50\n"
        "2026-12-09 18:00:00.000  camera 1  receipt 11  COM3  refund  -5.00  cashier 17  RETURN 5.00\n");
    EXPECT_NE(ReadFileBytes(err).find("2 exception records could not be read"), std::string::npos);
    ASSERT_EQ(run("--exceptions --json --camera 1 --to 2026-12-08"), 0);
    EXPECT_EQ(ReadFileBytes(out), std::string(kVoid) + "\n");
    ASSERT_EQ(run("--transactions --from 2026-12-09"), 0);
    EXPECT_EQ(ReadFileBytes(out),
              "2026-12-09 09:30:00.000  camera 2  receipt 6  10.0.0.2  lines 2  voids 0  "
              "drawer closed\n");
    ASSERT_EQ(run("--transactions --csv --camera 1"), 0);
    EXPECT_EQ(
        ReadFileBytes(out).substr(0, ReadFileBytes(out).find('\n') + 1),
        "time,camera,source,receipt,number,cashier,register,total,change,tenders,lines,voids,drawer\r\n");

    ASSERT_EQ(run("--exceptions --report --csv"), 0);
    EXPECT_EQ(ReadFileBytes(out),
              "by,key,count,amount,void,refund,no-sale\r\n"
              "cashier,(unknown),1,0.00,0,0,1\r\n"
              "cashier,17,2,-6.20,1,1,0\r\n"
              "cashier,8,1,-12.50,0,1,0\r\n"
              "camera,1,2,-6.20,1,1,0\r\n"
              "camera,2,2,-12.50,0,1,1\r\n"
              "day,2026-12-08,2,-13.70,1,1,0\r\n"
              "day,2026-12-09,2,-5.00,0,1,1\r\n"
              "all,,4,-18.70,1,2,1\r\n");
    ASSERT_EQ(run("--exceptions --report --from 2026-12-09"), 0);
    EXPECT_EQ(ReadFileBytes(out),
              "Exceptions, from 2026-12-09 to the last\n"
              "\n"
              "By cashier    count      amount  refund  no-sale\n"
              "  (unknown)       1        0.00       0        1\n"
              "  17              1       -5.00       1        0\n"
              "\n"
              "By camera     count      amount  refund  no-sale\n"
              "  1               1       -5.00       1        0\n"
              "  2               1        0.00       0        1\n"
              "\n"
              "By day        count      amount  refund  no-sale\n"
              "  2026-12-09      2       -5.00       1        1\n"
              "\n"
              "All           count      amount  refund  no-sale\n"
              "                  2       -5.00       1        1\n");

    for (const char* bad : {"--kind void", "--report", "--csv", "--exceptions --transactions",
                            "--exceptions --csv --json", "--exceptions --report --json",
                            "--exceptions --lines", "--transactions void", "--exceptions --report --max 5"})
        EXPECT_NE(run(bad), 0) << bad;
    EXPECT_NE(ReadFileBytes(err).find("--max does not apply"), std::string::npos);
}

}  // namespace
