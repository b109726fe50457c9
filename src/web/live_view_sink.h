// The live view's place on the delivery road: a queued sink whose worker publishes each
// delivered line, in the UTF-8 the delivery step made, into the feed. Capture only ever copies a line into
// the queue; when the queue is full the line is dropped and counted, and the browsers are told of the gap.
#pragma once

#include <cstdint>

#include "delivery/queued_sink.h"
#include "web/live_feed.h"

namespace zamri {

class LiveViewSink : public QueuedSink {
  public:
    static constexpr int kQueueLines = 4096;
    // After each batch the worker rests this long (see QueuedSink::kGatherMilliseconds): at a
    // busy store's rates the feed, and the browsers' thread behind it, then wake at most 10
    // times a second instead of once per line; a browser sees a line at most this much later,
    // and the first line after a quiet spell at once.
    static constexpr int kRestMilliseconds = QueuedSink::kGatherMilliseconds;

    explicit LiveViewSink(LiveFeed& feed);
    ~LiveViewSink() override;

    bool WantsUtf8() const override { return true; }

  protected:
    void Consume(const DeliveredLine& line) override;

  private:
    LiveFeed& feed_;
    uint64_t reportedDrops_ = 0;  // worker thread only
};

}  // namespace zamri
