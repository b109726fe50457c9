// The pure pieces of the web page: JSON text, queries, times, credentials, and the routes'
// answers to good and bad requests.
#include <gtest/gtest.h>

#include "web/web_routes.h"
#include "web/web_text.h"

namespace zamri {
namespace {

TEST(WebText, JsonStringsEscapeWhatCouldBreakThePage) {
    EXPECT_EQ(JsonString("TOTAL \"12\" \\ <b>&"), "\"TOTAL \\\"12\\\" \\\\ \\u003cb\\u003e\\u0026\"");
    EXPECT_EQ(JsonString(std::string("a\tb\x01\x7f", 5)), "\"a\\u0009b\\u0001\\u007f\"");
    // Valid UTF-8 passes; a stray byte, an overlong form and a surrogate become U+FFFD.
    EXPECT_EQ(JsonString("K\xC3\xA4se \xE2\x82\xAC"), "\"K\xC3\xA4se \xE2\x82\xAC\"");
    EXPECT_EQ(JsonString("\xE4 \xC0\xAF \xED\xA0\x80"),
              "\"\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(WebText, QueriesDecodeOrRefuse) {
    std::vector<std::pair<std::string, std::string>> query;
    ASSERT_TRUE(ParseQuery("text=BREAD+1%2C20&camera=3&&flag", query));
    ASSERT_EQ(query.size(), 3u);
    EXPECT_EQ(query[0].second, "BREAD 1,20");
    EXPECT_EQ(query[1].first, "camera");
    EXPECT_EQ(query[2].first, "flag");
    for (const char* broken : {"a=%", "a=%4", "a=%zz", "a=%00", "%G1=2"})
        EXPECT_FALSE(ParseQuery(broken, query)) << broken;
    EXPECT_FALSE(ParseQuery(std::string("a=b\0c", 5), query));
}

TEST(WebText, LocalTimesAreCheckedAndRoundTrip) {
    int64_t ms = 0;
    ASSERT_TRUE(ParseLocalTime("2026-12-09T14:30", &ms));
    EXPECT_EQ(FormatLocalTime(ms), "2026-12-09 14:30:00");
    ASSERT_TRUE(ParseLocalTime("2024-02-29 23:59:58", &ms));
    EXPECT_EQ(FormatLocalTime(ms), "2024-02-29 23:59:58");
    EXPECT_EQ(FormatLocalTime(0), "1970-01-01 00:00:00");
    for (const char* bad : {"2026-02-29T10:00", "2026-13-01T00:00", "2026-12-09T24:00", "2026-12-09",
                            "yesterday", "2026-12-09T14:30:5", "2026-12-09X14:30"})
        EXPECT_FALSE(ParseLocalTime(bad, &ms)) << bad;
}

TEST(WebText, BasicCredentialsMatchOnlyThePassword) {
    // "any:s3cret", "admin:s3cret", "any:s3cre", ":"
    EXPECT_TRUE(BasicPasswordMatches("Basic YW55OnMzY3JldA==", "s3cret"));
    EXPECT_TRUE(BasicPasswordMatches("basic  YWRtaW46czNjcmV0", "s3cret"));
    EXPECT_FALSE(BasicPasswordMatches("Basic YW55OnMzY3Jl", "s3cret"));
    EXPECT_FALSE(BasicPasswordMatches("Basic Og==", ""));
    EXPECT_FALSE(BasicPasswordMatches("Bearer YW55OnMzY3JldA==", "s3cret"));
    EXPECT_FALSE(BasicPasswordMatches("Basic !!!!", "s3cret"));
    EXPECT_FALSE(BasicPasswordMatches("", "s3cret"));
}

WebRequest Request(const std::string& target, const std::string& lastEventId = "",
                   const std::string& method = "GET") {
    WebRequest request;
    request.method = method;
    request.target = target;
    request.lastEventId = lastEventId;
    return request;
}

class FakeSite : public WebSite {
  public:
    std::string StatusJson() override { return "{\"version\":\"x\"}"; }
    int SearchJson(const SearchQuery& query, std::string& json, std::string& error) override {
        last = query;
        json = "{\"results\":[],\"page\":" + std::to_string(query.page) + ",\"more\":false}";
        return 1;
    }
    uint64_t LiveStart() override { return 801; }
    SearchQuery last;
};

TEST(WebRoutes, AnswersEachAddress) {
    FakeSite site;
    EXPECT_NE(RouteRequest(Request("/"), site).body.find("<!DOCTYPE html>"), std::string::npos);
    EXPECT_EQ(RouteRequest(Request("/api/status"), site).body, "{\"version\":\"x\"}");
    EXPECT_EQ(RouteRequest(Request("/nothing"), site).status, 404);
    WebResponse post = RouteRequest(Request("/api/status", "", "POST"), site);
    EXPECT_EQ(post.status, 405);
    EXPECT_EQ(post.allow, "GET, HEAD");

    WebResponse live = RouteRequest(Request("/api/live"), site);
    EXPECT_TRUE(live.liveStream);
    EXPECT_EQ(live.liveFrom, 801u);
    EXPECT_EQ(RouteRequest(Request("/api/live?after=41"), site).liveFrom, 42u);
    EXPECT_EQ(RouteRequest(Request("/api/live", "99"), site).liveFrom, 100u);  // Last-Event-ID

    WebResponse search = RouteRequest(
        Request("/api/search?text=K%C3%A4se&camera=3&from=2026-12-09T08:00&to=2026-12-09T09:00&page=2"),
        site);
    // The search itself runs later, off the server's thread.
    ASSERT_TRUE(search.later);
    EXPECT_EQ(search.later().status, 200);
    EXPECT_EQ(site.last.text, "K\xC3\xA4se");
    EXPECT_EQ(site.last.camera, 3);
    EXPECT_EQ(site.last.from, "2026-12-09T08:00");
    EXPECT_EQ(site.last.to, "2026-12-09T09:00");
    EXPECT_EQ(site.last.page, 2);
    // Empty fields of the form mean "any".
    EXPECT_EQ(RouteRequest(Request("/api/search?text=&camera=&from=&to=&page=1"), site).later().status, 200);
    EXPECT_EQ(site.last.from, "");
    EXPECT_EQ(site.last.camera, 0);
}

TEST(WebRoutes, BadQueriesGetAClearError) {
    FakeSite site;
    const char* bad[] = {"/api/live?after=x",
                         "/api/live?after=-1",
                         "/api/live?since=3",
                         "/api/search?camera=33",
                         "/api/search?camera=0",
                         "/api/search?camera=abc",
                         "/api/search?from=2026-13-01T00:00",
                         "/api/search?to=noon",
                         "/api/search?from=2026-12-09T10:00&to=2026-12-09T09:00",
                         "/api/search?page=0",
                         "/api/search?page=1&page=2",
                         "/api/search?text=%zz",
                         "/api/search?text=a%00b",
                         "/api/search?color=red"};
    for (const char* target : bad) {
        WebResponse response = RouteRequest(Request(target), site);
        EXPECT_EQ(response.status, 400) << target;
        EXPECT_EQ(response.body.compare(0, 10, "{\"error\":\""), 0) << target;
    }
    EXPECT_EQ(RouteRequest(Request("/api/search?text=" + std::string(201, 'a')), site).status, 400);
    EXPECT_EQ(RouteRequest(Request("/api/search?text=" + std::string(3000, 'a')), site).status, 400);
}

}  // namespace
}  // namespace zamri
