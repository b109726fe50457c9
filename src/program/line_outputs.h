// Where delivered lines go besides the overlay library, as section [Options] of the settings
// file sets it up at start-up: the journal (Journal=, JournalDays=, JournalSizeMB=,
// JournalFreeMB=), the syslog export (Syslog=, SyslogBuffer=) and the live view of the web page
// (HttpPort=), the webhooks ([Webhook N]) and the daily digest (DigestTime=). Each is a sink of the delivery
// step with its own queue and thread. Trouble with one is shown once and capture goes on.
#pragma once

#include <memory>
#include <string>

#include "web/live_view.h"

class LineDelivery;

namespace zamri {

class DigestTimer;
class JournalSink;
class SyslogSink;
class WebhookSink;
class TroubleReporter;
struct Settings;

class LineOutputs {
  public:
    LineOutputs();
    ~LineOutputs();
    LineOutputs(const LineOutputs&) = delete;
    LineOutputs& operator=(const LineOutputs&) = delete;

    // Adds the sinks that the settings ask for to the delivery step, and tells it the page the
    // overlay receives (recorderSettingsPath: the recorder's file, for its Hebrew setting).
    void Start(const Settings& settings, LineDelivery& delivery, const std::string& recorderSettingsPath);
    // Takes the sinks off, lets them finish what is queued (a few seconds at most) and reports
    // any lines they could not write or send. Harmless when nothing was started.
    void Stop();

    JournalSink* Journal() const { return journal.get(); }
    SyslogSink* Syslog() const { return syslog.get(); }
    // Where the delivery step's records go to the hooks; null without a usable hook.
    WebhookSink* Webhooks() const { return webhooks.get(); }
    DigestTimer* Digest() const { return digest.get(); }
    // Its feed exists whether or not the sink runs: the page reads it.
    LiveView& Live() { return live; }

    // The time the sinks get at stop for what is still queued.
    static constexpr int kFinishMilliseconds = 3000;

  private:
    std::unique_ptr<TroubleReporter> reporter;
    std::shared_ptr<JournalSink> journal;
    std::shared_ptr<SyslogSink> syslog;
    std::shared_ptr<WebhookSink> webhooks;
    std::unique_ptr<DigestTimer> digest;
    LiveView live;
    LineDelivery* delivery = nullptr;
};

}  // namespace zamri
