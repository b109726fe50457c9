// One webhook's deliveries waiting to be sent, in the order they were reported, with the rules
// for retries: each event is sent in turn; when a send fails, the hook waits (1 s, then twice as
// long each time, up to a minute) before it tries again, and an event still not delivered when
// its retry time has passed since it was reported is dropped and counted. While one event
// fails, the ones behind it wait, so a receiver that is down costs one attempt per back-off
// step, not one per event. Used by the hook's own sending thread only; its counts may be read
// from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "alert/alert_clock.h"

namespace zamri {

struct RetryTiming {
    int64_t retryForMilliseconds = 15 * 60 * 1000;  // 0: one attempt, no retry
    int64_t firstBackoffMilliseconds = 1000;
    int64_t maxBackoffMilliseconds = 60 * 1000;
};

struct WebhookCounts {
    uint64_t sent = 0;      // events delivered
    uint64_t failed = 0;    // attempts that failed, retries included
    uint64_t dropped = 0;   // events given up: queue full, retry time over, left at stop
    size_t waiting = 0;     // events not yet delivered
    std::string lastError;  // empty until an attempt fails
    int64_t lastErrorUtcMilliseconds = 0;
};

class WebhookOutbox {
  public:
    // One attempt to deliver a body: 1 delivered, 0 failed with the cause in *error.
    using Send = std::function<int(const std::string& body, std::string* error)>;
    static constexpr int64_t kNever = INT64_MAX;

    WebhookOutbox(size_t capacity, const RetryTiming& timing);

    // false when the outbox is full (the event is dropped and counted).
    bool Add(std::shared_ptr<const std::string> body, int64_t steadyNow);

    // Sends every event that is due, in order, reading the clock anew after each attempt, until
    // none is due or *stop is set. Returns the steady time of the next attempt, kNever when
    // nothing waits.
    int64_t Work(const AlertClock& clock, const Send& send, const std::atomic<bool>* stop = nullptr);

    // Drops what waits (counted); for a hook that stops.
    void DropAll();
    // Counts an event dropped before it reached the outbox.
    void CountDropped(uint64_t events = 1);

    bool Empty() const { return events.empty(); }
    WebhookCounts Counts() const;

  private:
    struct Waiting {
        std::shared_ptr<const std::string> body;
        int64_t deadline;
    };

    void Failed(const std::string& error, const AlertClock& clock);

    const size_t capacity;
    const RetryTiming timing;
    std::deque<Waiting> events;
    int64_t nextAttempt = 0;
    int64_t backoff = 0;

    mutable std::mutex countsLock;
    WebhookCounts counts;
};

}  // namespace zamri
