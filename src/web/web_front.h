// The web page as a part of the running program: reads its settings, owns the live feed and
// the HTTP server, and answers the routes from the channel table (status), the sinks it finds
// on the delivery step (their status; a journal to search). Built by the tray program and the Linux service
// after capture has started, and destroyed before the channel table.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "web/http_server.h"
#include "web/live_feed.h"
#include "web/live_view_sink.h"
#include "web/web_gate.h"
#include "web/web_options.h"
#include "web/web_routes.h"

class ChannelTable;

namespace zamri {

class WebFront : public WebSite {
  public:
    WebFront(ChannelTable& table, const char* version);
    ~WebFront() override;
    WebFront(const WebFront&) = delete;
    WebFront& operator=(const WebFront&) = delete;

    // Serves the page when the settings name a port (HttpPort in [Options]). 1 serving, 0 off;
    // error holds the reason when a port was named but cannot be used (empty when the page is
    // simply not configured).
    int Start(const Settings& settings, std::string& error);
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

    LiveFeed& Feed() { return feed_; }
    HttpServer* Server() { return server_.get(); }

    // WebSite
    std::string StatusJson() override;
    int SearchJson(const SearchQuery& query, std::string& json, std::string& error) override;
    uint64_t LiveStart() override;

  private:
    ChannelTable& table_;
    std::atomic<bool> stopping_{false};  // a search under way gives up
    std::string version_;
    LiveFeed feed_;
    WebOptions options_;
    std::unique_ptr<WebGate> gate_;
    std::shared_ptr<LiveViewSink> sink_;
    std::unique_ptr<HttpServer> server_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace zamri
