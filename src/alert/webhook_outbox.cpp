#include "alert/webhook_outbox.h"

#include <algorithm>

namespace zamri {

WebhookOutbox::WebhookOutbox(size_t capacity, const RetryTiming& timing)
    : capacity(capacity > 0 ? capacity : 1), timing(timing) {}

bool WebhookOutbox::Add(std::shared_ptr<const std::string> body, int64_t steadyNow) {
    std::lock_guard<std::mutex> guard(countsLock);
    if (events.size() >= capacity) {
        ++counts.dropped;
        return false;
    }
    events.push_back({std::move(body), steadyNow + timing.retryForMilliseconds});
    counts.waiting = events.size();
    return true;
}

void WebhookOutbox::Failed(const std::string& error, const AlertClock& clock) {
    int64_t now = clock.SteadyMilliseconds();
    if (timing.retryForMilliseconds <= 0) {
        backoff = 0;
    } else {
        backoff = backoff == 0 ? timing.firstBackoffMilliseconds
                               : std::min(backoff * 2, timing.maxBackoffMilliseconds);
    }
    nextAttempt = now + backoff;
    std::lock_guard<std::mutex> guard(countsLock);
    ++counts.failed;
    counts.lastError = error;
    counts.lastErrorUtcMilliseconds = clock.UtcMilliseconds();
    // Without time for another attempt before its deadline, the event goes now.
    if (timing.retryForMilliseconds <= 0 || nextAttempt > events.front().deadline) {
        events.pop_front();
        ++counts.dropped;
        counts.waiting = events.size();
    }
}

int64_t WebhookOutbox::Work(const AlertClock& clock, const Send& send, const std::atomic<bool>* stop) {
    for (;;) {
        if (stop != nullptr && stop->load())
            return events.empty() ? kNever : nextAttempt;
        int64_t now = clock.SteadyMilliseconds();
        {
            std::lock_guard<std::mutex> guard(countsLock);
            while (!events.empty() && timing.retryForMilliseconds > 0 && now >= events.front().deadline) {
                events.pop_front();
                ++counts.dropped;
            }
            counts.waiting = events.size();
        }
        if (events.empty())
            return kNever;
        if (now < nextAttempt)
            return nextAttempt;
        std::string error;
        if (send(*events.front().body, &error)) {
            backoff = 0;
            nextAttempt = 0;
            std::lock_guard<std::mutex> guard(countsLock);
            events.pop_front();
            ++counts.sent;
            counts.waiting = events.size();
        } else {
            Failed(error.empty() ? std::string("failed") : error, clock);
        }
    }
}

void WebhookOutbox::DropAll() {
    std::lock_guard<std::mutex> guard(countsLock);
    counts.dropped += events.size();
    events.clear();
    counts.waiting = 0;
}

void WebhookOutbox::CountDropped(uint64_t n) {
    std::lock_guard<std::mutex> guard(countsLock);
    counts.dropped += n;
}

WebhookCounts WebhookOutbox::Counts() const {
    std::lock_guard<std::mutex> guard(countsLock);
    return counts;
}

}  // namespace zamri
