#include "web/live_view_sink.h"

#include <string>

namespace zamri {

LiveViewSink::LiveViewSink(LiveFeed& feed)
    : QueuedSink("live view", kQueueLines, kRestMilliseconds), feed_(feed) {}

LiveViewSink::~LiveViewSink() {
    // The worker calls Consume, so it must end before this object does; the browsers need
    // nothing that is still queued.
    Stop(0);
}

void LiveViewSink::Consume(const DeliveredLine& line) {
    // Printed lines (banners among them) and, as marks, each exception the reader found and each
    // health event; the drawer and transaction records are the journal's.
    if (line.kind == DeliveredKind::Drawer || line.kind == DeliveredKind::Transaction)
        return;
    // Lines dropped at the queue since the last one show as a gap before this line.
    uint64_t drops = DroppedLines();
    if (drops > reportedDrops_) {
        feed_.NoteLost(drops - reportedDrops_);
        reportedDrops_ = drops;
    }
    LiveLine live;
    live.utcMs = line.utcMilliseconds;
    live.utcOffsetMinutes = line.utcOffsetMinutes;
    live.camera = line.camera;
    live.flags = line.flags;
    live.receipt = line.receipt;
    live.source = line.source;
    live.text = line.utf8;
    if (line.kind == DeliveredKind::Exception)
        live.exception = line.exceptionKind;
    // A health event shows as its detail, marked by its kind and whether it starts or ends.
    if (line.kind == DeliveredKind::Health)
        live.exception = "health " + line.exceptionKind + (line.ending ? " end" : " start");
    feed_.Publish(std::move(live));
}

}  // namespace zamri
