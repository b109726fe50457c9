// Webhook sections and the alert options from their text: good values read, bad ones reported
// with their section and key and left out.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "config/alert_settings.h"

namespace {

using zamri::AlertEvent;

TEST(HttpUrl, ReadsWhatAWebhookAddressHolds) {
    struct Case {
        const char* text;
        bool https;
        const char* host;
        int port;
        const char* path;
    };
    const Case good[] = {
        {"https://alerts.example.org/zamri?key=1", true, "alerts.example.org", 443, "/zamri?key=1"},
        {"HTTP://10.0.0.7:8080", false, "10.0.0.7", 8080, "/"},
        {"http://[::1]:9000/in", false, "::1", 9000, "/in"},
        {"https://host?x=1", true, "host", 443, "/?x=1"},
    };
    for (const Case& c : good) {
        zamri::HttpUrl url;
        std::string error;
        ASSERT_EQ(zamri::ParseHttpUrl(c.text, &url, &error), 1) << c.text << ": " << error;
        EXPECT_EQ(url.https, c.https);
        EXPECT_EQ(url.host, c.host);
        EXPECT_EQ(url.port, c.port);
        EXPECT_EQ(url.path, c.path);
        EXPECT_EQ(url.text, c.text);
    }
    const char* bad[] = {"ftp://host/",       "https://",      "http://:80/",          "http://host:0/",
                         "http://host:65536", "http://host:/", "http://user:pw@host/", "http://ho st/",
                         "http://host/a b",   "http://[::1/",  "http://host/#top",     "http://h\xC3\xA9/",
                         "host/path"};
    for (const char* text : bad) {
        zamri::HttpUrl url;
        std::string error;
        EXPECT_EQ(zamri::ParseHttpUrl(text, &url, &error), 0) << text;
        EXPECT_NE(error.find(text), std::string::npos) << error;
    }
}

TEST(WebhookSection, ReadsAHookAndLeavesOutOneThatCannotWork) {
    std::vector<std::string> errors;
    zamri::WebhookConfig hook;
    zamri::WebhookSectionText text{" https://h.example/in ", "k3y", "digest, Exception ,health",
                                   "C:\\ca.pem"};
    ASSERT_EQ(zamri::ParseWebhookSection(2, text, &hook, &errors), 1);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(hook.number, 2);
    EXPECT_EQ(hook.url.host, "h.example");
    EXPECT_EQ(hook.secret, "k3y");
    EXPECT_EQ(hook.caFile, "C:\\ca.pem");
    EXPECT_TRUE(hook.Takes(AlertEvent::kDigest) && hook.Takes(AlertEvent::kException) &&
                hook.Takes(AlertEvent::kHealth));
    EXPECT_FALSE(hook.Takes(AlertEvent::kTransaction));

    // No Events: exceptions only.
    ASSERT_EQ(zamri::ParseWebhookSection(1, {"http://h/", "k", "", ""}, &hook, &errors), 1);
    EXPECT_TRUE(hook.Takes(AlertEvent::kException));
    EXPECT_FALSE(hook.Takes(AlertEvent::kDigest));

    // No URL: no hook, nothing to say.
    EXPECT_EQ(zamri::ParseWebhookSection(3, {"", "k", "", ""}, &hook, &errors), 0);
    EXPECT_TRUE(errors.empty());

    EXPECT_EQ(zamri::ParseWebhookSection(4, {"htp://h/", "k", "", ""}, &hook, &errors), 0);
    EXPECT_EQ(zamri::ParseWebhookSection(5, {"http://h/", "  ", "", ""}, &hook, &errors), 0);
    // A misspelt event is reported; the hook still works with the others.
    EXPECT_EQ(zamri::ParseWebhookSection(6, {"http://h/", "k", "digest,exeption", ""}, &hook, &errors), 1);
    EXPECT_TRUE(hook.Takes(AlertEvent::kDigest));
    EXPECT_FALSE(hook.Takes(AlertEvent::kException));
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0],
              "[Webhook 4] URL: \"htp://h/\" is no http:// or https:// address. The hook is left out.");
    EXPECT_EQ(errors[1], "[Webhook 5] has no Secret to sign its requests with; the hook is left out.");
    EXPECT_EQ(
        errors[2],
        "[Webhook 6] Events: \"exeption\" is no event (exception, transaction, health, digest); the others "
        "are taken.");

    unsigned events = 0;
    std::string error;
    EXPECT_EQ(zamri::ParseAlertEvents("alarm, noise", &events, &error), 0);
    EXPECT_EQ(events, 1u << static_cast<int>(AlertEvent::kException));
    EXPECT_EQ(error,
              "\"alarm\", \"noise\" are no events (exception, transaction, health, digest); the hook takes "
              "exceptions.");
}

TEST(AlertOptions, ReadTheStoreTheDigestTimeAndTheRetryLimits) {
    zamri::AlertOptions options;
    std::vector<std::string> errors;
    EXPECT_EQ(zamri::ParseAlertOptions({" Main St. ", "7:05", "30", "0"}, &options, &errors), 0);
    EXPECT_EQ(options.storeName, "Main St.");
    EXPECT_TRUE(options.digestTime.on);
    EXPECT_EQ(options.digestTime.hour, 7);
    EXPECT_EQ(options.digestTime.minute, 5);
    EXPECT_EQ(options.webhookTimeoutSeconds, 30);
    EXPECT_EQ(options.webhookRetryMinutes, 0);

    EXPECT_EQ(zamri::ParseAlertOptions({"", "", "", ""}, &options, &errors), 0);
    EXPECT_FALSE(options.digestTime.on);
    EXPECT_EQ(options.webhookTimeoutSeconds, 10);
    EXPECT_EQ(options.webhookRetryMinutes, 15);

    for (const char* bad : {"24:00", "07:60", "7", "07:5", "0700", "-1:00", "ab:cd", "07:00:00"}) {
        zamri::DigestTime time;
        std::string error;
        EXPECT_EQ(zamri::ParseDigestTime(bad, &time, &error), 0) << bad;
        EXPECT_FALSE(time.on);
    }
    errors.clear();
    EXPECT_EQ(zamri::ParseAlertOptions({"", "25:00", "0", "1441"}, &options, &errors), 3);
    EXPECT_EQ(options.webhookTimeoutSeconds, 10);
    EXPECT_EQ(options.webhookRetryMinutes, 15);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0],
              "[Options] DigestTime: \"25:00\" is no local time from 00:00 to 23:59; no digest is made.");
}

}  // namespace
