// Webhook bodies carry the record as the journal has it, with the event and the store's name in
// front; the signature covers the timestamp and the body.
#include <gtest/gtest.h>

#include <string>

#include "alert/sha256.h"
#include "alert/webhook_request.h"

namespace {

using zamri::AlertEvent;

const char kException[] =
    "{\"event\":\"exception\",\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3,\"source\":\"COM3\","
    "\"receipt\":17,\"cashier\":\"17\",\"kind\":\"refund\",\"amount\":-12.5,\"line\":\"REFUND 12.50\"}\n";

TEST(WebhookBody, PutsEventAndStoreBeforeTheRecordsOwnFields) {
    std::string body;
    ASSERT_EQ(zamri::BuildWebhookBody(AlertEvent::kException, "Caf\xC3\xA9 \"Nord\"", kException, &body), 1);
    EXPECT_EQ(body,
              "{\"event\":\"exception\",\"store\":\"Caf\xC3\xA9 "
              "\\\"Nord\\\"\",\"time\":\"2026-12-08T14:01:52.120+01:00\","
              "\"camera\":3,\"source\":\"COM3\",\"receipt\":17,\"cashier\":\"17\",\"kind\":\"refund\","
              "\"amount\":-12.5,\"line\":\"REFUND 12.50\"}");

    // A record without an event key keeps all of its keys; an empty one adds none.
    ASSERT_EQ(zamri::BuildWebhookBody(AlertEvent::kDigest, "", "{\"date\":\"2026-12-08\"}", &body), 1);
    EXPECT_EQ(body, "{\"event\":\"digest\",\"store\":\"\",\"date\":\"2026-12-08\"}");
    ASSERT_EQ(zamri::BuildWebhookBody(AlertEvent::kHealth, "S", "{}", &body), 1);
    EXPECT_EQ(body, "{\"event\":\"health\",\"store\":\"S\"}");

    for (const char* bad : {"", "[1,2]", "\"text\"", "{\"open\":1", "no json"})
        EXPECT_EQ(zamri::BuildWebhookBody(AlertEvent::kException, "S", bad, &body), 0) << bad;
}

TEST(WebhookSignature, IsTheHmacOfTimestampDotBodyInHex) {
    const std::string body = "{\"event\":\"exception\"}";
    std::string expected = "sha256=" + zamri::HexText(zamri::HmacSha256("s3cret", "1796734912." + body));
    EXPECT_EQ(zamri::WebhookSignature("s3cret", 1796734912, body), expected);
    EXPECT_NE(zamri::WebhookSignature("s3cret", 1796734913, body), expected);
    EXPECT_NE(zamri::WebhookSignature("s3cres", 1796734912, body), expected);

    auto headers = zamri::WebhookHeaders("s3cret", 1796734912, body);
    auto value = [&](const char* name) {
        for (const auto& h : headers)
            if (h.name == name)
                return h.value;
        return std::string("(missing)");
    };
    EXPECT_EQ(value("X-Zamri-Timestamp"), "1796734912");
    EXPECT_EQ(value("X-Zamri-Signature"), expected);
    EXPECT_EQ(value("Content-Type"), "application/json; charset=utf-8");
}

TEST(AlertEventNames, ReadBackWhatTheyWrite) {
    for (int i = 0; i < zamri::kAlertEventCount; ++i) {
        AlertEvent event = AlertEvent::kException;
        std::string name = zamri::AlertEventName(static_cast<AlertEvent>(i));
        ASSERT_EQ(zamri::ParseAlertEventName(name, &event), 1);
        EXPECT_EQ(static_cast<int>(event), i);
    }
    AlertEvent event;
    EXPECT_EQ(zamri::ParseAlertEventName("DIGEST", &event), 1);
    EXPECT_EQ(zamri::ParseAlertEventName("drawer", &event), 0);
}

}  // namespace
