// The Exceptions view, its report, a receipt found again and the subtitles over a real journal
// folder; the routes' checks of their queries; the rules in force from a settings file; the
// line-error watch behind the status's "line settings probably wrong".
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "config/settings.h"
#include "journal/journal_record.h"
#include "journal/journal_writer.h"
#include "platform/local_time.h"
#include "support/temp_dir.h"
#include "text/civil_days.h"
#include "web/line_error_watch.h"
#include "web/web_events.h"
#include "web/web_routes.h"
#include "web/web_rules.h"
#include "web/web_subtitles.h"

namespace zamri {
namespace {

using testing_support::TempDir;

// 2026-12-01 at local hh:mm:ss on this machine's clock, as UTC.
int64_t Utc(int hour, int minute, int second) {
    int64_t local = ((DaysFromCivil(2026, 12, 1) * 24 + hour) * 60 + minute) * 60000 + second * 1000LL;
    return local - static_cast<int64_t>(LocalUtcOffsetMinutes(local)) * 60000;
}

class WebEventsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        JournalWriter writer(dir->File("journal"), 0);
        auto line = [&](int camera, int receipt, int64_t utc, const char* text, int flags) {
            JournalRecord record;
            record.utcMilliseconds = utc;
            record.utcOffsetMinutes = LocalUtcOffsetMinutes(utc);
            record.camera = camera;
            record.source = "COM" + std::to_string(camera);
            record.receipt = receipt;
            record.text = text;
            record.flags = flags;
            ASSERT_EQ(writer.Append(record), 1);
        };
        auto exception = [&](int camera, int receipt, int64_t utc, const char* kind, const char* amount,
                             const char* cashier) {
            std::string time = FormatRecordTime(utc, LocalUtcOffsetMinutes(utc));
            std::string record = "{\"event\":\"exception\",\"time\":\"" + time +
                                 "\",\"camera\":" + std::to_string(camera) + ",\"source\":\"COM" +
                                 std::to_string(camera) + "\",\"receipt\":" + std::to_string(receipt) +
                                 ",\"kind\":\"" + kind + "\",\"amount\":" + amount + ",\"line\":\"" + kind +
                                 " line\",\"cashier\":\"" + cashier + "\"}";
            ASSERT_EQ(writer.AppendWritten(utc, LocalUtcOffsetMinutes(utc), record), 1);
        };
        line(2, 7, Utc(10, 0, 0), "SALE", 1);
        line(2, 7, Utc(10, 0, 5), "REFUND 12.50", 4);
        line(2, 7, Utc(10, 0, 10), "TOTAL -12.50", 2);
        exception(2, 7, Utc(10, 0, 10), "refund", "-12.5", "17");
        line(3, 1, Utc(11, 0, 0), "VOID 2.00", 4);
        exception(3, 1, Utc(11, 0, 0), "void", "-2.0", "23");
        line(2, 7, Utc(15, 0, 0), "AFTER A RESTART", 1);  // the till's numbers began again
        line(2, 7, Utc(15, 0, 5), "VOID 1.00", 6);
        exception(2, 7, Utc(15, 0, 5), "void", "-1.0", "17");
    }
    static void TearDownTestSuite() { delete dir; }
    static std::string Folder() { return dir->File("journal"); }
    static TempDir* dir;
    std::atomic<bool> stop{false};
};

TempDir* WebEventsTest::dir = nullptr;

TEST_F(WebEventsTest, ExceptionsNewestFirstFilteredAndReported) {
    std::string json, error;
    WebEventFilter all;
    ASSERT_EQ(ExceptionListJson(Folder(), all, stop, json, error), 1) << error;
    size_t late = json.find("\"at\":\"2026-12-01T15:00:05\""),
           mid = json.find("\"at\":\"2026-12-01T11:00:00\""),
           early = json.find("\"at\":\"2026-12-01T10:00:10\"");
    ASSERT_NE(early, std::string::npos) << json;
    EXPECT_LT(late, mid);
    EXPECT_LT(mid, early);
    EXPECT_NE(json.find("\"total\":3,\"more\":false}"), std::string::npos) << json;
    EXPECT_NE(json.find("\"kind\":\"refund\",\"amount\":-12.50,\"cashier\":\"17\""), std::string::npos);

    WebEventFilter voidsOf17;
    voidsOf17.kind = "void";
    voidsOf17.cashier = "17";
    ASSERT_EQ(ExceptionListJson(Folder(), voidsOf17, stop, json, error), 1);
    EXPECT_NE(json.find("\"total\":1,"), std::string::npos) << json;
    WebEventFilter morning;
    morning.from = "2026-12-01 10:30";
    morning.to = "2026-12-01T12:00";
    ASSERT_EQ(ExceptionListJson(Folder(), morning, stop, json, error), 1);
    EXPECT_NE(json.find("\"total\":1,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"camera\":3"), std::string::npos);

    ASSERT_EQ(ExceptionReportAnswer(Folder(), all, false, stop, json, error), 1) << error;
    EXPECT_EQ(json.find("{\"count\":3,\"title\":\"Exceptions, from the first day to the last\""), 0u) << json;
    EXPECT_NE(json.find("cashier,17,2,-13.50,1,1\\u000d"), std::string::npos) << json;
    EXPECT_NE(json.find("day,2026-12-01,3,-15.50"), std::string::npos);
    std::string csv;
    ASSERT_EQ(ExceptionReportAnswer(Folder(), voidsOf17, true, stop, csv, error), 1);
    EXPECT_EQ(csv.find("by,key,count,amount,void\r\ncashier,17,1,-1.00,1\r\n"), 0u) << csv;
    // No journal yet: nothing found, not an error.
    ASSERT_EQ(ExceptionListJson(dir->File("none"), all, stop, json, error), 1);
    EXPECT_NE(json.find("\"total\":0"), std::string::npos);
}

TEST_F(WebEventsTest, AnExceptionOpensItsOwnReceipt) {
    std::string json, error;
    ASSERT_EQ(ReceiptLookupJson(Folder(), 2, 7, "2026-12-01T10:00:10", stop, json, error), 1) << error;
    EXPECT_NE(json.find("\"text\":\"SALE\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"text\":\"TOTAL -12.50\""), std::string::npos);
    EXPECT_EQ(json.find("AFTER A RESTART"), std::string::npos);
    ASSERT_EQ(ReceiptLookupJson(Folder(), 2, 7, "2026-12-01T15:00:05", stop, json, error), 1);
    EXPECT_NE(json.find("AFTER A RESTART"), std::string::npos) << json;
    EXPECT_EQ(json.find("SALE"), std::string::npos);
    ASSERT_EQ(ReceiptLookupJson(Folder(), 2, 8, "2026-12-01T10:00:10", stop, json, error), 1);
    EXPECT_EQ(json, "{\"receipt\":null}");
}

TEST_F(WebEventsTest, SubtitlesTimedFromTheClipStart) {
    WebSubtitleQuery query;
    query.camera = 2;
    query.from = "2026-12-01T10:00";
    query.to = "2026-12-01T10:00";
    query.clipStart = "2026-12-01T09:59:50";
    std::string text, error;
    ASSERT_EQ(JournalSubtitleText(Folder(), query, stop, text, error), 1) << error;
    EXPECT_EQ(text.compare(0, 3, "\xEF\xBB\xBF"), 0);
    EXPECT_NE(text.find("00:00:10,000 --> "), std::string::npos) << text;
    EXPECT_NE(text.find("REFUND 12.50"), std::string::npos);
    EXPECT_EQ(text.find("AFTER A RESTART"), std::string::npos);
    EXPECT_EQ(SubtitleFileName(query), "camera-2-2026-12-01-0959.srt");
    query.webVtt = true;
    query.clipStart.clear();
    ASSERT_EQ(JournalSubtitleText(Folder(), query, stop, text, error), 1);
    EXPECT_EQ(text.compare(0, 6, "WEBVTT"), 0);
    EXPECT_NE(text.find("\n00:00.000 --> 00:05.000\nSALE\n"), std::string::npos) << text;
}

class RecordingSite : public WebSite {
  public:
    std::string StatusJson() override { return "{}"; }
    int SearchJson(const SearchQuery&, std::string&, std::string&) override { return 0; }
    uint64_t LiveStart() override { return 1; }
    int ExceptionsJson(const WebEventFilter& f, std::string& json, std::string&) override {
        filter = f;
        json = "{}";
        return 1;
    }
    int ReportAnswer(const WebEventFilter& f, bool csv, std::string& body, std::string&) override {
        filter = f;
        body = csv ? "by,key\r\n" : "{}";
        return 1;
    }
    int SubtitlesText(const WebSubtitleQuery& q, std::string& text, std::string&) override {
        subtitles = q;
        text = "WEBVTT\n";
        return 1;
    }
    WebEventFilter filter;
    WebSubtitleQuery subtitles;
};

WebResponse Get(const std::string& target, WebSite& site) {
    WebRequest request;
    request.method = "GET";
    request.target = target;
    WebResponse response = RouteRequest(request, site);
    return response.later ? response.later() : response;
}

TEST(WebEventRoutes, FiltersReachTheSiteAndBadOnesGetTheirReason) {
    RecordingSite site;
    EXPECT_EQ(
        Get("/api/exceptions?kind=Big+refund&camera=4&cashier=017&from=2026-12-01T08:00&to=", site).status,
        200);
    EXPECT_EQ(site.filter.kind, "Big refund");
    EXPECT_EQ(site.filter.camera, 4);
    EXPECT_EQ(site.filter.cashier, "017");
    EXPECT_EQ(site.filter.from, "2026-12-01T08:00");
    WebResponse csv = Get("/api/report?kind=void&format=csv", site);
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(csv.attachment, "exceptions-report.csv");
    WebResponse vtt =
        Get("/api/subtitles?camera=2&from=2026-12-01T10:00&to=2026-12-01T10:05&format=vtt", site);
    EXPECT_EQ(vtt.status, 200);
    EXPECT_EQ(vtt.contentType, "text/vtt; charset=utf-8");
    EXPECT_EQ(vtt.attachment, "camera-2-2026-12-01-1000.vtt");
    EXPECT_TRUE(site.subtitles.webVtt);
    // A site without a journal says so.
    EXPECT_EQ(Get("/api/receipt?camera=1&receipt=3&at=2026-12-01T10:00:00", site).status, 503);
    EXPECT_EQ(Get("/api/rules", site).status, 200);

    struct Bad {
        const char* target;
        const char* reason;
    } bad[] = {
        {"/api/exceptions?camera=33", "camera must be a number from 1 to 32"},
        {"/api/exceptions?format=csv", "unknown parameter \\\"format\\\""},
        {"/api/exceptions?from=2026-12-01T10:00&to=2026-12-01T09:00", "the time range ends before it begins"},
        {"/api/exceptions?cashier=a%0Ab", "cashier must be at most 40 characters of text"},
        {"/api/report?format=pdf", "format must be csv, or left out for JSON"},
        {"/api/report?kind=void&kind=refund", "parameter \\\"kind\\\" given twice"},
        {"/api/receipt?camera=1&receipt=3", "a receipt is named by camera, receipt and at"},
        {"/api/receipt?camera=1&receipt=x&at=2026-12-01T10:00", "receipt must be a receipt number"},
        {"/api/subtitles?camera=0&from=2026-12-01T10:00&to=2026-12-01T10:05&format=srt",
         "camera must be a number from 1 to 32"},
        {"/api/subtitles?camera=1&from=2026-12-01T10:00&format=srt",
         "subtitles are for one camera's clip: give camera, from and to"},
        {"/api/subtitles?camera=1&from=2026-12-01T10:00&to=2026-12-01T10:05&format=ass",
         "format must be srt or vtt"},
        {"/api/subtitles?camera=1&from=2026-12-01T10:00&to=2026-12-01T10:05&clip=soon&format=srt",
         "clip must be a time like 2026-12-09T14:30"},
        {"/api/rules?all=1", "unknown parameter \\\"all\\\""},
    };
    for (const Bad& b : bad) {
        WebResponse response = Get(b.target, site);
        EXPECT_EQ(response.status, 400) << b.target;
        EXPECT_EQ(response.body, std::string("{\"error\":\"") + b.reason + "\"}") << b.target;
    }
}

TEST(WebRules, TheRulesInForceAndThoseLeftOut) {
    TempDir dir;
    std::string path = dir.File("zamri.ini");
    testing_support::WriteFileBytes(path,
                                    "[Channel 2]\nTemplate=builtin\n[Channel 5]\nTemplate=none\n"
                                    "[Options]\nExceptionRefundThreshold=50\nExceptionVoid=0\n"
                                    "[Rule 1]\nName=Big r\xE9"
                                    "fund\nLine=REFUND {amount}\nMatch=amount >= 100\n"
                                    "Hours=22:00-06:00\n"
                                    "[Rule 2]\nName=Void then no sale\nFirst=void\nThen=no-sale\nWithin=60\n"
                                    "[Rule 3]\nName=Broken\nMatch=colour > 3\n");
    std::string json = RulesInForceJson(*ReadSettings(path.c_str()));
    EXPECT_NE(json.find("{\"kind\":\"void\",\"on\":false,\"threshold\":\"0.00\",\"banner\":true}"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("{\"kind\":\"refund\",\"on\":true,\"threshold\":\"50.00\""), std::string::npos);
    EXPECT_NE(json.find("\"channels\":[{\"channel\":2,\"template\":\"built-in\"}]"), std::string::npos);
    EXPECT_NE(json.find("\"name\":\"Big r\xC3\xA9"
                        "fund\",\"type\":\"line\",\"line\":\"REFUND {amount}\","
                        "\"match\":\"amount \\u003e= 100.00\",\"hours\":\"22:00-06:00\""),
              std::string::npos)
        << json;
    EXPECT_NE(
        json.find("\"type\":\"sequence\",\"line\":\"\",\"match\":\"\",\"hours\":\"\",\"first\":\"void\","
                  "\"then\":\"no-sale\",\"within\":60"),
        std::string::npos);
    EXPECT_EQ(json.find("\"name\":\"Broken\""), std::string::npos);
    EXPECT_NE(json.find("\"leftOut\":[{\"section\":\"Rule\",\"text\":\"[Rule 3]"), std::string::npos) << json;
}

TEST(LineErrorWatch, ShowsWhileTheCountGrowsThenClears) {
    LineErrorWatch watch;
    EXPECT_FALSE(watch.Disagrees(0, 0, 1000));
    EXPECT_TRUE(watch.Disagrees(0, 4, 3000));
    EXPECT_TRUE(watch.Disagrees(0, 4, 3000 + kLineErrorShowMilliseconds - 1));
    EXPECT_FALSE(watch.Disagrees(0, 4, 3000 + kLineErrorShowMilliseconds));
    EXPECT_TRUE(watch.Disagrees(0, 5, 100000));
    EXPECT_FALSE(watch.Disagrees(0, -1, 100001));  // the channel stopped
    EXPECT_FALSE(watch.Disagrees(0, 0, 100002));   // and opened again clean
    // Errors there at the first look count: they were made with these settings.
    EXPECT_TRUE(watch.Disagrees(1, 9, 5));
    EXPECT_FALSE(watch.Disagrees(32, 9, 5));
}

}  // namespace
}  // namespace zamri
