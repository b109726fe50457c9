#include "program/feed_health_watch.h"

#include "capture/channel_capture.h"
#include "delivery/line_delivery.h"

namespace zamri {

FeedHealthWatch::FeedHealthWatch(LineDelivery& delivery, ChannelCapture& capture, LineClock* clock)
    : delivery(delivery), capture(capture), monitor(std::make_shared<FeedHealthMonitor>(clock)) {}

FeedHealthWatch::~FeedHealthWatch() {
    Stop();
}

void FeedHealthWatch::Start(const FeedHealthSettings& settings) {
    monitor->SetSettings(settings);
    if (started)
        return;
    delivery.AddSink(monitor);
    started = true;
}

void FeedHealthWatch::Tick() {
    if (!started)
        return;
    auto sample = std::make_unique<FeedSample>();
    capture.SampleHealth(sample.get());
    for (FeedHealthEvent& event : monitor->Tick(*sample)) {
        if (event.camera >= 1)
            event.receipt = delivery.NextReceipt(event.camera);
        delivery.DeliverRecord(DeliveredHealth(event));
    }
}

void FeedHealthWatch::Stop() {
    if (!started)
        return;
    delivery.RemoveSink(monitor.get());
    started = false;
}

}  // namespace zamri
