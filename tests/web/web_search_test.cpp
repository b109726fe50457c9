// The page's search over a real journal folder: whole receipts, newest first, paged the same
// whether a page is found in one pass or counted first, and the form's filters.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <vector>

#include "journal/journal_record.h"
#include "journal/journal_writer.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"
#include "web/web_search.h"

namespace zamri {
namespace {

using testing_support::TempDir;

constexpr int kReceipts = 1030;  // more than kSearchHeldReceipts: deep pages count first

// Local 2026-12-01 08:00 plus n minutes, in UTC+01:00.
int64_t UtcOf(int n) {
    return (DaysFromCivil(2026, 12, 1) * 1440 + 8 * 60 + n - 60) * 60000;
}

class WebSearchTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        JournalWriter writer(dir->File("journal"), 0);
        for (int n = 1; n <= kReceipts; ++n) {
            JournalRecord record;
            record.utcOffsetMinutes = 60;
            record.camera = n % 2 == 0 ? 2 : 5;
            record.source = "10.0.0.9";
            record.receipt = n;
            record.utcMilliseconds = UtcOf(n);
            record.text = "SALE " + std::to_string(n);
            ASSERT_EQ(writer.Append(record), 1);
            record.utcMilliseconds += 20000;
            record.flags = 2;
            record.text = "TOTAL <" + std::to_string(n) + ">";
            ASSERT_EQ(writer.Append(record), 1);
        }
    }
    static void TearDownTestSuite() { delete dir; }

    // The receipt numbers of a page in the order given, and the rest of the answer.
    std::vector<int> Page(SearchQuery query, std::string* json = nullptr) {
        std::string out, error;
        std::atomic<bool> stop{false};
        EXPECT_EQ(SearchJournal(dir->File("journal"), query, stop, out, error), 1) << error;
        std::vector<int> receipts;
        std::regex number("\"receipt\":([0-9]+)");
        for (std::sregex_iterator it(out.begin(), out.end(), number), end; it != end; ++it)
            receipts.push_back(std::stoi((*it)[1]));
        if (json != nullptr)
            *json = out;
        return receipts;
    }
    static TempDir* dir;
};

TempDir* WebSearchTest::dir = nullptr;

std::vector<int> Descending(int from, int to) {
    std::vector<int> out;
    for (int n = from; n >= to; --n)
        out.push_back(n);
    return out;
}

TEST_F(WebSearchTest, EveryPageNewestFirstWhetherHeldOrCountedFirst) {
    SearchQuery query;
    std::string json;
    EXPECT_EQ(Page(query, &json), Descending(1030, 1011));
    EXPECT_NE(json.find("\"page\":1,\"more\":true,\"total\":1030"), std::string::npos);
    // Page 50 is the deepest held in memory; 51 and 52 are counted first, then read again.
    query.page = 50;
    EXPECT_EQ(Page(query), Descending(50, 31));
    query.page = 51;
    EXPECT_EQ(Page(query), Descending(30, 11));
    query.page = 52;
    EXPECT_EQ(Page(query, &json), Descending(10, 1));
    EXPECT_NE(json.find("\"more\":false"), std::string::npos);
    query.page = 60;
    EXPECT_TRUE(Page(query).empty());
}

TEST_F(WebSearchTest, TextCameraAndTimeRangeGiveWholeReceiptsWithLocalTimes) {
    SearchQuery query;
    query.text = "sale 1029";
    std::string json;
    ASSERT_EQ(Page(query, &json), std::vector<int>{1029});
    // Both lines of the receipt, only the first marked, times as the recorder shows them,
    // the till's markup escaped even inside the JSON.
    EXPECT_NE(
        json.find(
            "\"camera\":5,\"source\":\"10.0.0.9\",\"receipt\":1029,\"time\":\"2026-12-02 01:09:00\","
            "\"lines\":[{\"time\":\"01:09:00\",\"text\":\"SALE 1029\",\"flags\":0,\"match\":true},"
            "{\"time\":\"01:09:20\",\"text\":\"TOTAL \\u003c1029\\u003e\",\"flags\":2,\"match\":false}]"),
        std::string::npos)
        << json;

    query = SearchQuery();
    query.camera = 2;
    query.from = "2026-12-01T08:10";
    query.to = "2026-12-01 08:14";  // the last minute counts whole
    EXPECT_EQ(Page(query), (std::vector<int>{14, 12, 10}));

    query = SearchQuery();
    query.text = "nothing like it";
    EXPECT_EQ(Page(query, &json), std::vector<int>{});
    EXPECT_NE(json.find("\"results\":[],\"page\":1,\"more\":false,\"total\":0"), std::string::npos);
}

TEST_F(WebSearchTest, AMissingFolderFindsNothingAndAStopGivesUp) {
    std::string json, error;
    std::atomic<bool> stop{false};
    EXPECT_EQ(SearchJournal(dir->File("not-yet"), SearchQuery(), stop, json, error), 1) << error;
    EXPECT_NE(json.find("\"total\":0"), std::string::npos);
    stop = true;
    EXPECT_EQ(SearchJournal(dir->File("journal"), SearchQuery(), stop, json, error), 0);
    EXPECT_EQ(error, "the program is stopping");
}

TEST(WebSearchLimitTest, ASearchThatStopsAtItsLimitSaysWhere) {
    TempDir journal;
    std::string day;
    JournalRecord record;
    record.camera = 4;
    record.flags = 3;
    record.text = "SALE";
    for (int n = 0; n <= kSearchMostResults; ++n) {
        record.receipt = n;
        record.utcMilliseconds = UtcOf(n / 60) + (n % 60) * 1000;
        AppendRecordLine(record, &day);
    }
    ASSERT_TRUE(testing_support::WriteFileBytes(journal.File("2026-12-01.jsonl"), day));
    std::string json, error;
    std::atomic<bool> stop{false};
    ASSERT_EQ(SearchJournal(journal.Path(), SearchQuery(), stop, json, error), 1) << error;
    EXPECT_NE(json.find("\"total\":10000,\"notice\":\"The search stopped after 10000 receipts: the journal "
                        "from 2026-12-01 09:46:40 on was not searched. Narrow it by camera or time.\"}"),
              std::string::npos)
        << json.substr(json.size() - 300);
}

}  // namespace
}  // namespace zamri
