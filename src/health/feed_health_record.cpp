#include "health/feed_health_record.h"

#include "receipt/receipt_records.h"
#include "text/json_string.h"

namespace zamri {

void AppendFeedHealthRecord(const FeedHealthEvent& event, std::string* out) {
    *out += "{\"event\":\"health\",\"time\":\"";
    *out += FormatReceiptTime(event.utcMilliseconds, event.utcOffsetMinutes);
    *out += "\",\"camera\":";
    *out += std::to_string(event.camera);
    *out += ",\"source\":\"";
    AppendJsonEscaped(event.source, out);
    *out += "\",\"receipt\":";
    *out += event.camera > 0 ? std::to_string(event.receipt) : "null";
    *out += ",\"kind\":\"";
    AppendJsonEscaped(event.kind, out);
    *out += event.ending ? "\",\"state\":\"end\",\"detail\":\"" : "\",\"state\":\"start\",\"detail\":\"";
    AppendJsonEscaped(event.detail, out);
    *out += "\"}\n";
}

DeliveredLine DeliveredHealth(const FeedHealthEvent& event) {
    DeliveredLine item;
    item.kind = DeliveredKind::Health;
    item.utcMilliseconds = event.utcMilliseconds;
    item.utcOffsetMinutes = event.utcOffsetMinutes;
    item.camera = event.camera;
    item.receipt = event.receipt;
    item.source = event.source;
    item.exceptionKind = event.kind;
    item.ending = event.ending;
    AppendFeedHealthRecord(event, &item.record);
    item.record.pop_back();
    // The live view shows the detail as the event's text.
    item.utf8 = event.detail;
    return item;
}

}  // namespace zamri
