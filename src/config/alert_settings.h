// The settings of alerts, as text in the settings file, and the functions that turn that text
// into the values the webhooks and the digest use. Each reports every problem as a sentence for
// the user, naming the section and key, and leaves out only what it cannot use.
//
//   [Options]
//   StoreName=Main Street 12      ; the store's name in every webhook body and digest
//   DigestTime=07:00              ; local HH:MM of the daily digest; empty: no digest
//   WebhookTimeout=10             ; seconds a receiver has to answer (1 to 120)
//   WebhookRetryMinutes=15        ; how long a failed delivery is retried (0 to 1440; 0: never)
//
//   [Webhook 1]                   ; up to [Webhook 16]; a missing number ends nothing
//   URL=https://alerts.example.org/zamri
//   Secret=a long random text     ; signs every request (X-Zamri-Signature)
//   Events=exception, digest      ; any of exception, transaction, health, digest
//   CAFile=C:\zamri\store-ca.pem  ; certificates to trust instead of the system's (PEM)
//
// A hook without a URL is no hook; one whose URL does not parse, or that has no Secret, is
// reported and left out; the others work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_url.h"

namespace zamri {

constexpr int kMaxWebhooks = 16;

enum class AlertEvent { kException, kTransaction, kHealth, kDigest };
constexpr int kAlertEventCount = 4;

// "exception", "transaction", "health", "digest".
const char* AlertEventName(AlertEvent event);
// 1 and the event for one of those names (either case); 0 otherwise.
int ParseAlertEventName(std::string_view name, AlertEvent* event);

struct WebhookConfig {
    int number = 0;  // N of [Webhook N]
    HttpUrl url;
    std::string secret;
    unsigned events = 1u << static_cast<int>(AlertEvent::kException);
    std::string caFile;  // empty: the system's certificates

    bool Takes(AlertEvent event) const { return (events >> static_cast<int>(event)) & 1u; }
};

// The values of one [Webhook N] section, as the file holds them (empty when missing).
struct WebhookSectionText {
    std::string url;
    std::string secret;
    std::string events;
    std::string caFile;
};

// 1 with *hook filled; 0 when the section makes no hook (no URL: no message; a URL that does not
// parse, or no Secret: a sentence in errors). A bad Events entry is reported and left out.
int ParseWebhookSection(int number, const WebhookSectionText& text, WebhookConfig* hook,
                        std::vector<std::string>* errors);

// Events: a comma list of event names, blanks allowed; empty: exception. 1, or 0 with the names
// that are none in *error (*events then holds the good ones, or exception when none is).
int ParseAlertEvents(std::string_view text, unsigned* events, std::string* error);

struct DigestTime {
    bool on = false;
    int hour = 0;
    int minute = 0;
};

// "HH:MM" (or "H:MM") from 00:00 to 23:59, or empty for no digest. 1, or 0 with a sentence in
// *error (no digest then).
int ParseDigestTime(std::string_view text, DigestTime* time, std::string* error);

struct AlertOptions {
    std::string storeName;  // UTF-8
    DigestTime digestTime;
    int webhookTimeoutSeconds = 10;
    int webhookRetryMinutes = 15;
};

// The [Options] keys of alerts, each from its text (empty: missing). Returns the number of
// problems; a value that cannot be used keeps its default.
struct AlertOptionsText {
    std::string storeName;
    std::string digestTime;
    std::string webhookTimeout;
    std::string webhookRetryMinutes;
};
int ParseAlertOptions(const AlertOptionsText& text, AlertOptions* options, std::vector<std::string>* errors);

// What the settings file holds for alerts: the [Options] keys and the hooks that can be used,
// in the order of their numbers.
struct AlertSettings {
    AlertOptions options;
    std::vector<WebhookConfig> hooks;
};

}  // namespace zamri
