// The webhooks as a sink of the delivery step. Lines themselves are no webhook events; the
// records the delivery step reads from receipts (exceptions, transactions) and health events
// are: each is posted, by its kind, to the hooks that take it. Posting only queues (each hook has
// its own thread), so the delivering thread is never held by a receiver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "alert/webhook_dispatcher.h"
#include "delivery/delivered_line.h"

namespace zamri {

class WebhookSink : public LineSink {
  public:
    WebhookSink(const AlertSettings& settings, const AlertClock& clock = SystemAlertClock(),
                WebhookDispatcher::SenderFactory sender = nullptr);

    // 1 when every hook's thread started.
    int Start();
    // The hooks get finishMilliseconds for what waits, then the rest is dropped and counted.
    void Stop(int finishMilliseconds);

    // Transactions and exceptions the receipt reader found are posted; printed lines and drawer
    // events are not (a hook asks for events, not for every line).
    void Accept(const DeliveredLine& line) override;
    // A record as the journal keeps it ({"event":"exception",...}): posted by its "event" key,
    // which must come first. The hooks it was queued for; 0 for a kind no hook takes, -1 for a
    // line that is no such record.
    int AcceptRecord(std::string_view record);
    int AcceptRecord(AlertEvent event, std::string_view record);
    bool Wanted(AlertEvent event) const { return dispatcher.Wanted(event); }

    // "webhooks" on the status page: each hook's counts and last error.
    SinkStatus Status() const override;
    // One line per hook, for the stop summary.
    std::vector<std::string> Summary() const;
    WebhookDispatcher& Dispatcher() { return dispatcher; }

  private:
    WebhookDispatcher dispatcher;
};

// Options of the dispatcher from the settings.
WebhookDispatcherOptions DispatcherOptions(const AlertOptions& options);

}  // namespace zamri
