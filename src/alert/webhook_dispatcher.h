// Sends events to the webhooks of the settings. Post is called by the threads that find the
// events (the delivery step, the digest's timer) and returns at once: it queues the body for
// every hook that takes that event; each hook has a bounded queue, its own sending thread and
// its own retries (webhook_outbox.h), so a hook whose receiver is slow or down holds neither the
// caller nor the other hooks. What cannot be queued is dropped and counted per hook.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "alert/alert_clock.h"
#include "alert/webhook_outbox.h"
#include "alert/webhook_request.h"
#include "config/alert_settings.h"

namespace zamri {

// How one hook's requests are sent: WebhookHeaders and an HttpPoster for real, something else in
// tests.
class WebhookSender {
  public:
    virtual ~WebhookSender() = default;
    // One attempt: 1 delivered, 0 failed with the cause in *error.
    virtual int Send(const std::string& body, int64_t unixSeconds, std::string* error) = 0;
    // Any thread: the attempt running now ends at once, and so do later ones.
    virtual void Cancel() = 0;
};

std::unique_ptr<WebhookSender> MakeHttpWebhookSender(const WebhookConfig& hook, int timeoutMilliseconds);

struct WebhookDispatcherOptions {
    std::string storeName;  // UTF-8
    int timeoutMilliseconds = 10000;
    RetryTiming timing;
    size_t queueCapacity = 256;    // events queued per hook while its thread is busy sending
    size_t outboxCapacity = 1024;  // events per hook waiting for delivery or a retry
};

// For the status page and the stop summary.
struct WebhookStatus {
    int number = 0;   // N of [Webhook N]
    std::string url;  // as in the settings
    WebhookCounts counts;
};

class WebhookDispatcher {
  public:
    using SenderFactory = std::function<std::unique_ptr<WebhookSender>(const WebhookConfig& hook)>;

    // sender: null for HTTP (MakeHttpWebhookSender).
    WebhookDispatcher(std::vector<WebhookConfig> hooks, const WebhookDispatcherOptions& options,
                      const AlertClock& clock = SystemAlertClock(), SenderFactory sender = nullptr);
    // Stop(0).
    ~WebhookDispatcher();
    WebhookDispatcher(const WebhookDispatcher&) = delete;
    WebhookDispatcher& operator=(const WebhookDispatcher&) = delete;

    // Starts the hooks' threads; 1, or 0 when one cannot be started (the others run).
    int Start();

    // Any thread, never waits for a receiver. record: the record object as the record writers
    // make it (webhook_request.h). Returns the number of hooks it was queued for; -1 when record
    // is no JSON object.
    int Post(AlertEvent event, std::string_view record);
    // Whether any hook takes the event (so the caller can skip making its record).
    bool Wanted(AlertEvent event) const { return (wanted >> static_cast<int>(event)) & 1u; }

    // Ends the hooks' threads: they go on delivering what waits for at most finishMilliseconds,
    // then what is in flight is cancelled and what is left is dropped and counted. Safe to call
    // more than once.
    void Stop(int finishMilliseconds);

    // Makes the threads look at the clock again (for a clock that tests move by hand).
    void Wake();

    std::vector<WebhookStatus> Status() const;
    // One line per hook: "Webhook 1 (https://...): 12 sent, 1 failed attempt, 0 dropped; last
    // error: HTTP 500 from https://..."
    std::string Summary() const;

    struct Hook;

  private:
    void Run(Hook& hook);

    const WebhookDispatcherOptions options;
    const AlertClock& clock;
    std::vector<std::unique_ptr<Hook>> hooks;
    unsigned wanted = 0;
};

}  // namespace zamri
