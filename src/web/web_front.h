// The web page as a part of the running program: reads its settings, owns the HTTP server, and
// answers the routes from the channel table (status), the sinks it finds on the delivery step
// (their status; a journal to search) and the live feed that the program's sinks fill. The
// program object starts it after capture and destroys it first.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/admission_gate.h"
#include "web/http_server.h"
#include "web/line_error_watch.h"
#include "web/live_feed.h"
#include "web/web_gate.h"
#include "web/web_options.h"
#include "web/web_routes.h"

class ChannelTable;
class LineDelivery;

namespace zamri {

class WebFront : public WebSite {
  public:
    // feed: the live view's, which a LiveView fills from delivery.
    WebFront(ChannelTable& table, LineDelivery& delivery, LiveFeed& feed, const char* version);
    ~WebFront() override;
    WebFront(const WebFront&) = delete;
    WebFront& operator=(const WebFront&) = delete;

    // Serves the page when the settings name a port (HttpPort in [Options]). 1 serving, 0 off;
    // error holds the reason when a port was named but cannot be used (empty when the page is
    // simply not configured).
    int Start(const Settings& settings, std::string& error);
    // The rules page shows the exception kinds and rules of these settings from now on (the
    // property sheet changes them while the program runs). Any thread.
    void SetRulesInForce(const Settings& settings);
    int StartWith(const WebOptions& options, std::string& error,
                  const HttpServerLimits& limits = HttpServerLimits());
    void Stop();

    bool Running() const { return server_ != nullptr; }
    // The address to open in a browser on this PC ("http://127.0.0.1:8080/"); empty when off.
    std::string LocalAddress() const;
    // Where the page is served, for the service's start line.
    std::string ListenAddress() const;
    int Port() const;
    // What the user must be told at start-up (and the status page shows): a page that other
    // machines reach without a password. Empty when there is nothing to say.
    std::string Warning() const;

    // Where TCP mode's refused senders are counted: 1 with the summary filled in, 0 when there
    // is no TCP server. Given before Start.
    using RefusalSource = std::function<int(AdmissionGate::Summary*)>;
    void SetRefusalSource(RefusalSource source) { refusals_ = std::move(source); }

    LiveFeed& Feed() { return feed_; }
    HttpServer* Server() { return server_.get(); }

    // WebSite
    std::string StatusJson() override;
    int SearchJson(const SearchQuery& query, std::string& json, std::string& error) override;
    uint64_t LiveStart() override;
    int ExceptionsJson(const WebEventFilter& filter, std::string& json, std::string& error) override;
    int ReportAnswer(const WebEventFilter& filter, bool csv, std::string& body, std::string& error) override;
    int ReceiptJson(int camera, int64_t receipt, const std::string& at, std::string& json,
                    std::string& error) override;
    int SubtitlesText(const WebSubtitleQuery& query, std::string& text, std::string& error) override;
    std::string RulesJson() override;

  private:
    // The live view's lines lost at its sink's queue, 0 when it has none on the delivery step.
    uint64_t LiveLinesLost() const;
    // The journal's folder, from the sink that keeps it; 0 with the reason when it is off.
    int JournalFolder(std::string& folder, std::string& error) const;

    ChannelTable& table_;
    LineDelivery& delivery_;
    LiveFeed& feed_;
    RefusalSource refusals_;
    std::atomic<bool> stopping_{false};  // a search under way gives up
    std::string version_;
    LineErrorWatch lineErrors_;
    std::mutex rulesLock_;  // held while rulesJson_ is read or replaced
    std::string rulesJson_;
    WebOptions options_;
    std::unique_ptr<WebGate> gate_;
    std::unique_ptr<HttpServer> server_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace zamri
