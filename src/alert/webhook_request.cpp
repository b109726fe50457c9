#include "alert/webhook_request.h"

#include "alert/sha256.h"
#include "journal/journal_record.h"
#include "text/json_string.h"
#include "zamri_version.h"

namespace zamri {

namespace {

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.remove_suffix(1);
    return text;
}

// Where the first key's value ends, for a string value without escapes ("event":"exception").
size_t EndOfEventKey(std::string_view inner) {
    static const std::string_view kKey = "\"event\":\"";
    if (inner.substr(0, kKey.size()) != kKey)
        return 0;
    size_t close = inner.find('"', kKey.size());
    if (close == std::string_view::npos)
        return 0;
    size_t end = close + 1;
    if (end < inner.size() && inner[end] == ',')
        ++end;
    return end;
}

}  // namespace

int BuildWebhookBody(AlertEvent event, std::string_view storeName, std::string_view record,
                     std::string* body) {
    record = TrimEnd(record);
    if (record.size() < 2 || record.front() != '{' || record.back() != '}')
        return 0;
    std::string_view inner = record.substr(1, record.size() - 2);
    inner.remove_prefix(EndOfEventKey(inner));
    body->clear();
    body->reserve(record.size() + storeName.size() + 40);
    *body += "{\"event\":\"";
    *body += AlertEventName(event);
    *body += "\",\"store\":\"";
    AppendJsonEscaped(storeName, body);
    *body += '"';
    if (!inner.empty()) {
        *body += ',';
        body->append(inner.data(), inner.size());
    }
    *body += '}';
    return 1;
}

std::string WebhookSignature(std::string_view secret, int64_t unixSeconds, std::string_view body) {
    std::string message = std::to_string(unixSeconds);
    message += '.';
    message.append(body.data(), body.size());
    return "sha256=" + HexText(HmacSha256(secret, message));
}

std::vector<HttpHeader> WebhookHeaders(std::string_view secret, int64_t unixSeconds, std::string_view body) {
    return {
        {"Content-Type", "application/json; charset=utf-8"},
        {"User-Agent", "zamri/" ZAMRI_VERSION},
        {"X-Zamri-Timestamp", std::to_string(unixSeconds)},
        {"X-Zamri-Signature", WebhookSignature(secret, unixSeconds, body)},
    };
}

}  // namespace zamri
