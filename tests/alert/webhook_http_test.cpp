// Webhooks against a real receiver (webhook_receiver.py, started by CTest before this test): over
// HTTPS with a certificate of the store's own CA and over plain HTTP, body, headers and signature
// checked on the receiving side by the README's Python check; a receiver that is down, slow, or
// answers 500; the retries and the drop; a receiver that never answers, which no caller notices.
// Natively with libcurl, under wine with WinHTTP against the same Linux-side receiver.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "alert/alert_clock.h"
#include "alert/http_post.h"
#include "alert/sha256.h"
#include "alert/webhook_dispatcher.h"
#include "alert/webhook_request.h"
#include "platform/local_time.h"
#include "support/webhook_receiver.h"

namespace {

using testing_support::WebhookReceiver;
using zamri::AlertEvent;
using zamri::HttpFailure;

std::string Field(const std::string& json, const std::string& key) {
    return testing_support::ReceiverField(json, key);
}

const WebhookReceiver& TheReceiver() {
    static const WebhookReceiver receiver(ZAMRI_RECEIVER_DIR, ZAMRI_WINDOWS_PATHS != 0);
    return receiver;
}

class WebhookHttp : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!TheReceiver().Running())
            GTEST_SKIP() << "no receiver: run through CTest, which starts tests/alert/webhook_receiver.py";
    }
    const WebhookReceiver& receiver = TheReceiver();

    // Each run's paths end in a tag of its own, so a receiver that has served earlier runs (a
    // repeated test) neither shows their requests nor counts their failures.
    static std::string Tagged(const std::string& path) {
        static const std::string tag = "/run-" + std::to_string(zamri::UtcNowMilliseconds());
        return path + tag;
    }
    std::string Url(bool https, const std::string& path) const {
        return std::string(https ? "https://localhost:" : "http://127.0.0.1:") +
               std::to_string(https ? receiver.httpsPort : receiver.httpPort) + Tagged(path);
    }
    static zamri::HttpUrl Parsed(const std::string& text) {
        zamri::HttpUrl url;
        std::string error;
        EXPECT_EQ(zamri::ParseHttpUrl(text, &url, &error), 1) << error;
        return url;
    }
    std::vector<std::string> Received(const std::string& path, size_t count = 1) const {
        return receiver.Received(Tagged(path), count);
    }
    zamri::WebhookConfig Hook(const std::string& url) const {
        zamri::WebhookConfig hook;
        hook.number = 1;
        hook.url = Parsed(url);
        hook.secret = receiver.secret;
        hook.caFile = receiver.caFile;
        return hook;
    }
};

// Bounded by time, not by turns: under load (and under wine) a short sleep lasts far longer.
template <typename Condition>
bool Eventually(Condition condition) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

TEST_F(WebhookHttp, SignedRequestsArriveOverHttpsAndHttpAndPassTheReceiversCheck) {
    const std::string body =
        "{\"event\":\"exception\",\"store\":\"Caf\xC3\xA9\",\"kind\":\"refund\",\"amount\":-12.5}";
    for (bool https : {true, false}) {
        std::string path = https ? "/ok/signed-https" : "/ok/signed-http";
        zamri::HttpPoster poster({20000, https ? receiver.caFile : ""});
        int64_t now = zamri::UtcNowMilliseconds() / 1000;
        zamri::HttpPostResult result;
        // The second request goes over the connection the first one left open.
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(poster.Post(Parsed(Url(https, path)), zamri::WebhookHeaders(receiver.secret, now, body),
                                  body, &result),
                      1)
                << result.error;
            EXPECT_EQ(result.status, 200);
            EXPECT_TRUE(result.error.empty());
        }
        std::vector<std::string> got = Received(path, 2);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(Field(got[0], "tls"), https ? "true" : "false");
        EXPECT_EQ(Field(got[0], "method"), "POST");
        EXPECT_EQ(Field(got[0], "verified"), "true") << got[0];
        EXPECT_EQ(Field(got[0], "body_sha256"), zamri::HexText(zamri::Sha256Of(body)));
        EXPECT_EQ(Field(got[0], "x-zamri-timestamp"), std::to_string(now));
        EXPECT_EQ(Field(got[0], "content-type"), "application/json; charset=utf-8");
    }
    // A wrong secret fails the receiver's check.
    zamri::HttpPoster poster({20000, ""});
    zamri::HttpPostResult result;
    poster.Post(Parsed(Url(false, "/ok/wrong-secret")),
                zamri::WebhookHeaders("not the secret", zamri::UtcNowMilliseconds() / 1000, body), body,
                &result);
    EXPECT_EQ(Field(Received("/ok/wrong-secret").at(0), "verified"), "false");
}

TEST_F(WebhookHttp, FailuresNameTheirCause) {
    const std::string body = "{}";
    auto post = [&](const std::string& url, const std::string& caFile, int timeout,
                    zamri::HttpPostResult* result) {
        zamri::HttpPoster poster({timeout, caFile});
        return poster.Post(Parsed(url), zamri::WebhookHeaders(receiver.secret, 1, body), body, result);
    };
    zamri::HttpPostResult result;
    // The receiver's certificate is not one the system trusts: the body is never sent.
    EXPECT_EQ(post(Url(true, "/ok/untrusted"), "", 20000, &result), 0);
    EXPECT_EQ(result.failure, HttpFailure::kTls) << result.error;
    EXPECT_EQ(result.error.rfind("TLS failure", 0), 0u) << result.error;

    std::string down = "http://127.0.0.1:" + std::to_string(receiver.closedPort) + "/";
    EXPECT_EQ(post(down, "", 20000, &result), 0);
    EXPECT_EQ(result.failure, HttpFailure::kRefused) << result.error;
    EXPECT_EQ(result.error.rfind("connection refused by 127.0.0.1:" + std::to_string(receiver.closedPort), 0),
              0u)
        << result.error;

    EXPECT_EQ(post(Url(false, "/slow/20000/timeout"), "", 300, &result), 0);
    EXPECT_EQ(result.failure, HttpFailure::kTimedOut) << result.error;
    EXPECT_EQ(result.error.rfind("time-out", 0), 0u) << result.error;

    EXPECT_EQ(post(Url(true, "/status/500/failing"), receiver.caFile, 20000, &result), 0);
    EXPECT_EQ(result.failure, HttpFailure::kHttpStatus);
    EXPECT_EQ(result.status, 500);
    EXPECT_EQ(result.error, "HTTP 500 from " + Url(true, "/status/500/failing"));

    // A redirect is not followed.
    EXPECT_EQ(post(Url(false, "/status/302/moved"), "", 20000, &result), 0);
    EXPECT_EQ(result.status, 302);

    EXPECT_EQ(post(Url(true, "/ok/no-ca-file"), "/nonexistent/ca.pem", 20000, &result), 0);
    EXPECT_EQ(result.failure, HttpFailure::kSetup) << result.error;
    EXPECT_NE(result.error.find("/nonexistent/ca.pem"), std::string::npos) << result.error;
}

TEST_F(WebhookHttp, WithoutItsLibraryEveryRequestFailsAndSaysWhatToInstall) {
    if (ZAMRI_WINDOWS_PATHS)
        GTEST_SKIP() << "WinHTTP is part of Windows";
    zamri::HttpPostOptions options(20000);
    options.library = "libzamri-no-such-curl.so.4";
    const std::string body = "{}";
    for (int attempt = 0; attempt < 2; ++attempt) {
        zamri::HttpPoster poster(options);
        zamri::HttpPostResult result;
        EXPECT_EQ(poster.Post(Parsed(Url(false, "/ok/no-library")),
                              zamri::WebhookHeaders(receiver.secret, 1, body), body, &result),
                  0);
        EXPECT_EQ(result.failure, HttpFailure::kSetup);
        EXPECT_EQ(result.error.rfind("set-up failure: libzamri-no-such-curl.so.4 cannot be loaded", 0), 0u)
            << result.error;
        EXPECT_NE(result.error.find("libcurl4"), std::string::npos) << result.error;
    }
    // Nothing was sent: the request failed before any connection.
    EXPECT_TRUE(Received("/ok/no-library", 0).empty());
}

TEST_F(WebhookHttp, TheDispatcherRetriesAReceiverThatFailsAndDropsWhatNeverGetsThrough) {
    zamri::WebhookDispatcherOptions options;
    options.storeName = "Store 4";
    options.timeoutMilliseconds = 20000;
    options.timing = zamri::RetryTiming{60000, 20, 40};
    {
        zamri::WebhookDispatcher dispatcher({Hook(Url(true, "/fail/2/retried"))}, options);
        dispatcher.Start();
        EXPECT_EQ(dispatcher.Post(AlertEvent::kException, "{\"event\":\"exception\",\"kind\":\"void\"}\n"),
                  1);
        ASSERT_TRUE(Eventually([&] { return dispatcher.Status()[0].counts.sent == 1; }));
        auto counts = dispatcher.Status()[0].counts;
        EXPECT_EQ(counts.failed, 2u);
        EXPECT_EQ(counts.lastError, "HTTP 500 from " + Url(true, "/fail/2/retried"));
        std::vector<std::string> got = Received("/fail/2/retried", 3);
        ASSERT_EQ(got.size(), 3u);
        for (const std::string& line : got)
            EXPECT_EQ(Field(line, "verified"), "true");
        EXPECT_EQ(Field(got[2], "body"), "{\"event\":\"exception\",\"store\":\"Store 4\",\"kind\":\"void\"}");
    }
    options.timing = zamri::RetryTiming{300, 20, 40};
    zamri::WebhookDispatcher dispatcher({Hook(Url(true, "/status/500/dropped"))}, options);
    dispatcher.Start();
    dispatcher.Post(AlertEvent::kException, "{}");
    ASSERT_TRUE(Eventually([&] { return dispatcher.Status()[0].counts.dropped == 1; }));
    auto counts = dispatcher.Status()[0].counts;
    EXPECT_EQ(counts.sent, 0u);
    EXPECT_GE(counts.failed, 2u);
    EXPECT_EQ(counts.waiting, 0u);
    EXPECT_NE(dispatcher.Summary().find("0 sent, "), std::string::npos);
}

TEST_F(WebhookHttp, AReceiverThatNeverAnswersHoldsNoCallerAndStopEndsTheRequest) {
    zamri::WebhookDispatcherOptions options;
    options.timeoutMilliseconds = 120000;
    options.queueCapacity = 64;
    zamri::WebhookDispatcher dispatcher({Hook(Url(false, "/slow/120000/hanging"))}, options);
    dispatcher.Start();
    dispatcher.Post(AlertEvent::kException, "{\"n\":0}");
    ASSERT_EQ(Received("/slow/120000/hanging").size(), 1u);  // it has arrived and waits for its answer
    const int kPosts = 20000;
    for (int i = 1; i <= kPosts; ++i)
        dispatcher.Post(AlertEvent::kException, "{\"n\":1}");
    auto counts = dispatcher.Status()[0].counts;
    EXPECT_EQ(counts.waiting + counts.dropped, static_cast<uint64_t>(kPosts) + 1);
    EXPECT_GE(counts.dropped, static_cast<uint64_t>(kPosts) - 64 - options.outboxCapacity);
    dispatcher.Stop(0);
    counts = dispatcher.Status()[0].counts;
    EXPECT_EQ(counts.sent, 0u);
    EXPECT_EQ(counts.dropped, static_cast<uint64_t>(kPosts) + 1);
    EXPECT_EQ(counts.lastError, "cancelled: the program is stopping");
}

}  // namespace
