// The program's side of feed health: the monitor as a sink of the delivery step (it sees each
// camera's lines), ticked with what capture shows, its events handed to every sink through the
// delivery step. The receipt ticker's thread ticks it; no thread of its own.
#pragma once

#include <memory>

#include "config/health_settings.h"
#include "health/feed_health_monitor.h"

class ChannelCapture;
class LineClock;
class LineDelivery;

namespace zamri {

class FeedHealthWatch {
  public:
    // delivery and capture must outlive this object; clock too when given (null: the system's).
    FeedHealthWatch(LineDelivery& delivery, ChannelCapture& capture, LineClock* clock = nullptr);
    ~FeedHealthWatch();
    FeedHealthWatch(const FeedHealthWatch&) = delete;
    FeedHealthWatch& operator=(const FeedHealthWatch&) = delete;

    // Watches by these settings and sees the lines from now on.
    void Start(const FeedHealthSettings& settings);
    // Samples capture and hands on what changed. Does nothing unless started.
    void Tick();
    void Stop();

    const FeedHealthMonitor& Monitor() const { return *monitor; }

  private:
    LineDelivery& delivery;
    ChannelCapture& capture;
    std::shared_ptr<FeedHealthMonitor> monitor;
    bool started = false;
};

}  // namespace zamri
