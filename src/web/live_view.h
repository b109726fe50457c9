// The live view's feed and the sink that fills it from the delivery step. The program's sinks
// own one, so the feed exists before capture starts and outlives the page that reads it.
#pragma once

#include <memory>

#include "web/live_feed.h"
#include "web/live_view_sink.h"

class LineDelivery;

namespace zamri {

class LiveView {
  public:
    LiveView() = default;
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    // Lines delivered from now on reach the feed, through the sink's own queue and thread. 1,
    // or 0 when the sink's thread cannot start. A second call is harmless.
    int Start(LineDelivery& delivery);
    // Takes the sink off the delivery step; the feed keeps what it holds. Harmless when not
    // started.
    void Stop();

    bool Running() const { return sink_ != nullptr; }
    LiveFeed& Feed() { return feed_; }

  private:
    LiveFeed feed_;
    std::shared_ptr<LiveViewSink> sink_;
    LineDelivery* delivery_ = nullptr;
};

}  // namespace zamri
