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
    // After the queue has run empty the worker rests this long before it waits again, so that
    // a busy capture thread finds it resting, not waiting, and never has to wake it per line.
    static constexpr int kRestMilliseconds = 2;

    explicit LiveViewSink(LiveFeed& feed);
    ~LiveViewSink() override;

    bool WantsUtf8() const override { return true; }

  protected:
    void Consume(const DeliveredLine& line) override;
    void Idle() override;

  private:
    LiveFeed& feed_;
    uint64_t reportedDrops_ = 0;  // worker thread only
};

}  // namespace zamri
