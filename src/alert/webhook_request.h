// What a webhook receives. The body is one JSON object: "event", "store" and then the fields
// of the record it reports, taken as the record writer made it for the journal, so the journal
// and the webhook never differ:
//
//   {"event":"exception","store":"Main Street","time":"2026-12-08T14:01:52.120+01:00",
//    "camera":3,"source":"COM3","receipt":17,"cashier":"17","kind":"refund","amount":-12.5,
//    "line":"REFUND 12.50"}
//
// "transaction" carries a transaction record's fields, "health" those of a feed-health record,
// "digest" those of the daily digest (daily_digest.h). Each request carries two headers:
//
//   X-Zamri-Timestamp: 1796734912                      (Unix seconds when it was sent)
//   X-Zamri-Signature: sha256=<64 hex digits>          (HMAC-SHA256 of "<timestamp>.<body>"
//                                                       with the hook's secret)
//
// so a receiver can check both who sent it and that it is fresh (receiver_check.py shows how).
// A retried request is signed anew, with the time it is sent again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "alert/http_post.h"
#include "config/alert_settings.h"

namespace zamri {

// Builds the body from a record object ("{...}", a newline after it is allowed). The record's
// own "event" key, when it comes first, makes way for the body's. 1, or 0 when record is no
// JSON object (nothing is built then).
int BuildWebhookBody(AlertEvent event, std::string_view storeName, std::string_view record,
                     std::string* body);

// "sha256=" and the hex HMAC-SHA256 of "<timestamp>.<body>" with secret.
std::string WebhookSignature(std::string_view secret, int64_t unixSeconds, std::string_view body);

// All headers of a request: Content-Type, User-Agent, X-Zamri-Timestamp, X-Zamri-Signature.
std::vector<HttpHeader> WebhookHeaders(std::string_view secret, int64_t unixSeconds, std::string_view body);

}  // namespace zamri
