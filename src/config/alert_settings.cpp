#include "config/alert_settings.h"
#include "text/setting_value.h"

namespace zamri {

namespace {

const char* const kEventNames[kAlertEventCount] = {"exception", "transaction", "health", "digest"};

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

const unsigned kExceptionOnly = 1u << static_cast<int>(AlertEvent::kException);

}  // namespace

const char* AlertEventName(AlertEvent event) {
    return kEventNames[static_cast<int>(event)];
}

int ParseAlertEventName(std::string_view name, AlertEvent* event) {
    for (int i = 0; i < kAlertEventCount; ++i) {
        if (SameNoCase(name, kEventNames[i])) {
            *event = static_cast<AlertEvent>(i);
            return 1;
        }
    }
    return 0;
}

int ParseAlertEvents(std::string_view text, unsigned* events, std::string* error) {
    *events = 0;
    std::string unknown;
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string_view::npos)
            comma = text.size();
        std::string_view name = TrimBlanks(text.substr(at, comma - at));
        AlertEvent event;
        if (ParseAlertEventName(name, &event))
            *events |= 1u << static_cast<int>(event);
        else if (!name.empty())
            unknown += (unknown.empty() ? "\"" : ", \"") + std::string(name) + "\"";
        at = comma + 1;
    }
    bool none = *events == 0;
    if (none)
        *events = kExceptionOnly;
    if (unknown.empty())
        return 1;
    *error = unknown + (unknown.find(',') == std::string::npos ? " is no event" : " are no events") +
             " (exception, transaction, health, digest); " +
             (none ? "the hook takes exceptions." : "the others are taken.");
    return 0;
}

int ParseWebhookSection(int number, const WebhookSectionText& text, WebhookConfig* hook,
                        std::vector<std::string>* errors) {
    *hook = WebhookConfig();
    hook->number = number;
    std::string section = "[Webhook " + std::to_string(number) + "] ";
    auto report = [&](const std::string& sentence) {
        if (errors != nullptr)
            errors->push_back(section + sentence);
    };
    std::string_view url = TrimBlanks(text.url);
    if (url.empty())
        return 0;
    std::string why;
    if (!ParseHttpUrl(url, &hook->url, &why)) {
        report("URL: " + why + " The hook is left out.");
        return 0;
    }
    hook->secret = std::string(text.secret);
    if (TrimBlanks(hook->secret).empty()) {
        report("has no Secret to sign its requests with; the hook is left out.");
        return 0;
    }
    if (!ParseAlertEvents(text.events, &hook->events, &why))
        report("Events: " + why);
    hook->caFile = std::string(TrimBlanks(text.caFile));
    return 1;
}

int ParseDigestTime(std::string_view text, DigestTime* time, std::string* error) {
    *time = DigestTime();
    std::string_view v = TrimBlanks(text);
    if (v.empty())
        return 1;
    int minutes = 0;
    if (!ParseClockMinutes(v, &minutes)) {
        *error = "\"" + std::string(text) + "\" is no local time from 00:00 to 23:59; no digest is made.";
        return 0;
    }
    time->on = true;
    time->hour = minutes / 60;
    time->minute = minutes % 60;
    return 1;
}

int ParseAlertOptions(const AlertOptionsText& text, AlertOptions* options, std::vector<std::string>* errors) {
    *options = AlertOptions();
    int problems = 0;
    auto report = [&](const char* key, const std::string& sentence) {
        ++problems;
        if (errors != nullptr)
            errors->push_back(std::string("[Options] ") + key + ": " + sentence);
    };
    options->storeName = std::string(TrimBlanks(text.storeName));
    std::string why;
    if (!ParseDigestTime(text.digestTime, &options->digestTime, &why))
        report("DigestTime", why);
    if (!TrimBlanks(text.webhookTimeout).empty() &&
        !ParseWholeNumber(text.webhookTimeout, 1, 120, &options->webhookTimeoutSeconds))
        report("WebhookTimeout",
               "\"" + text.webhookTimeout + "\" is no number of seconds from 1 to 120; 10 is used.");
    if (!TrimBlanks(text.webhookRetryMinutes).empty() &&
        !ParseWholeNumber(text.webhookRetryMinutes, 0, 1440, &options->webhookRetryMinutes))
        report("WebhookRetryMinutes",
               "\"" + text.webhookRetryMinutes + "\" is no number of minutes from 0 to 1440; 15 is used.");
    return problems;
}

}  // namespace zamri
