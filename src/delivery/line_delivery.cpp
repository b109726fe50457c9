#include "delivery/line_delivery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "config/channel_table.h"

LineDelivery::LineDelivery(ChannelTable& owner)
    : table(owner), clock(&SystemLineClock()), sinks(std::make_shared<const SinkList>()) {
    for (std::atomic<uint32_t>& receipt : receipts)
        receipt = 1;
}

int LineDelivery::Deliver(int camera, int flags, const char* source, const char* text) {
    if (camera < 1 || camera > kChannelCount)
        return 0;
    DeliveredLine line;
    LineClock* now = clock.load();
    line.utcMilliseconds = now->UtcMilliseconds();
    line.utcOffsetMinutes = now->UtcOffsetMinutes(line.utcMilliseconds);
    line.camera = camera;
    std::snprintf(line.source, sizeof line.source, "%s", source != nullptr ? source : "");
    size_t length = 0;
    if (text != nullptr) {
        const void* end = std::memchr(text, 0, kDeliveredTextSize - 1);
        length = end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text)
                                : kDeliveredTextSize - 1;
        std::memcpy(line.text, text, length);
    }
    line.text[length] = 0;
    line.length = static_cast<int32_t>(length);

    // A receipt that ends on a dropped line has ended all the same.
    std::atomic<uint32_t>& receipt = receipts[camera - 1];
    line.receipt = (flags & kLineFlagEnd) != 0 ? receipt.fetch_add(1) : receipt.load();

    if (table.FilterLine(line.text, flags) == 0)
        return 0;
    line.flags = flags;
    table.WriteOverlayLine(camera - 1, flags, line.text);

    std::shared_ptr<const SinkList> current = SinkSnapshot();
    for (const std::shared_ptr<LineSink>& sink : *current)
        sink->Accept(line);
    return 1;
}

std::shared_ptr<const LineDelivery::SinkList> LineDelivery::SinkSnapshot() const {
    std::lock_guard<std::mutex> guard(sinkLock);
    return sinks;
}

void LineDelivery::AddSink(std::shared_ptr<LineSink> sink) {
    if (sink == nullptr)
        return;
    std::lock_guard<std::mutex> guard(sinkLock);
    auto next = std::make_shared<SinkList>(*sinks);
    next->push_back(std::move(sink));
    sinks = std::move(next);
}

void LineDelivery::RemoveSink(const LineSink* sink) {
    std::lock_guard<std::mutex> guard(sinkLock);
    auto next = std::make_shared<SinkList>(*sinks);
    next->erase(std::remove_if(next->begin(), next->end(),
                               [sink](const std::shared_ptr<LineSink>& held) { return held.get() == sink; }),
                next->end());
    sinks = std::move(next);
}

std::vector<std::shared_ptr<LineSink>> LineDelivery::Sinks() const {
    return *SinkSnapshot();
}

void LineDelivery::SetClock(LineClock* newClock) {
    clock = newClock != nullptr ? newClock : &SystemLineClock();
}

uint32_t LineDelivery::NextReceipt(int camera) const {
    if (camera < 1 || camera > kChannelCount)
        return 0;
    return receipts[camera - 1].load();
}
