#include "alert/webhook_sink.h"

namespace zamri {

namespace {

// The kind of a record whose first key is "event".
bool RecordEvent(std::string_view record, AlertEvent* event) {
    static const std::string_view kKey = "{\"event\":\"";
    if (record.substr(0, kKey.size()) != kKey)
        return false;
    size_t close = record.find('"', kKey.size());
    return close != std::string_view::npos &&
           ParseAlertEventName(record.substr(kKey.size(), close - kKey.size()), event);
}

}  // namespace

WebhookDispatcherOptions DispatcherOptions(const AlertOptions& options) {
    WebhookDispatcherOptions made;
    made.storeName = options.storeName;
    made.timeoutMilliseconds = options.webhookTimeoutSeconds * 1000;
    made.timing.retryForMilliseconds = static_cast<int64_t>(options.webhookRetryMinutes) * 60 * 1000;
    return made;
}

WebhookSink::WebhookSink(const AlertSettings& settings, const AlertClock& clock,
                         WebhookDispatcher::SenderFactory sender)
    : dispatcher(settings.hooks, DispatcherOptions(settings.options), clock, std::move(sender)) {}

int WebhookSink::Start() {
    return dispatcher.Start();
}

void WebhookSink::Stop(int finishMilliseconds) {
    dispatcher.Stop(finishMilliseconds);
}

void WebhookSink::Accept(const DeliveredLine& line) {
    if (line.kind == DeliveredKind::Transaction || line.kind == DeliveredKind::Exception ||
        line.kind == DeliveredKind::Health)
        AcceptRecord(line.record);
}

int WebhookSink::AcceptRecord(std::string_view record) {
    AlertEvent event;
    if (!RecordEvent(record, &event))
        return -1;
    return AcceptRecord(event, record);
}

int WebhookSink::AcceptRecord(AlertEvent event, std::string_view record) {
    if (!dispatcher.Wanted(event))
        return 0;
    return dispatcher.Post(event, record);
}

SinkStatus WebhookSink::Status() const {
    SinkStatus status;
    status.name = "webhooks";
    status.key = "webhooks";
    for (const WebhookStatus& hook : dispatcher.Status()) {
        const WebhookCounts& c = hook.counts;
        std::string text = "Webhook " + std::to_string(hook.number) + ": " + std::to_string(c.sent) +
                           " sent, " + std::to_string(c.waiting) + " waiting, " + std::to_string(c.failed) +
                           " failed attempt(s), " + std::to_string(c.dropped) + " dropped";
        if (!c.lastError.empty())
            text += " (last error: " + c.lastError + ")";
        status.state += (status.state.empty() ? "" : "; ") + text;
        status.dropped += c.dropped;
    }
    if (status.state.empty())
        status.state = "none";
    return status;
}

std::vector<std::string> WebhookSink::Summary() const {
    std::vector<std::string> lines;
    std::string text = dispatcher.Summary();
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace zamri
