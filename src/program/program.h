// The running program, as both fronts (the Windows tray program and the Linux service) own it.
// Its parts are members in the order they start, and they stop in the reverse order, which is
// the order C++ destroys them in:
//
//   table     the channel records and every other part's settings, read from the file at Start
//   overlay   the recorder's overlay library, opened when the program is built
//   delivery  masks, the line filter, the overlay, then the sinks: the one road of every line
//   sinks     journal, syslog export, live view: each with its own queue and thread
//   ticker    the receipt readers' time (receipts handed on once their drawer grace passed)
//   capture   the serial and network channels' threads, or TCP mode's server
//   health    the feed-health watch, ticked by the ticker, which stops first
//   web       the web page
//
// So capture never runs without the sinks it feeds, and the page never outlives what it shows.
// A second instance or a refused window builds and destroys the program without starting it:
// the overlay library is then opened and closed once, and nothing is read.
#pragma once

#include <functional>
#include <string>

#include "capture/channel_capture.h"
#include "config/channel_table.h"
#include "delivery/line_delivery.h"
#include "delivery/overlay_output.h"
#include "program/feed_health_watch.h"
#include "program/line_outputs.h"
#include "program/receipt_ticker.h"
#include "web/web_front.h"

namespace zamri {

class Program {
  public:
    explicit Program(const char* version = "");
    // Stop, then the parts go in reverse order.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Reads the settings (the table's file), then starts the sinks, capture and the web page, in
    // that order. stopAsked (when given) is asked before each part: a stop requested meanwhile
    // skips what is left. recorderSettingsPath: the recorder's settings file (its Hebrew setting
    // decides the page of the text the sinks receive). 1 when capture was started; webError then
    // holds why a page that the settings name is off (empty when it runs or is not asked for).
    int Start(const std::string& recorderSettingsPath, const std::function<bool()>& stopAsked = nullptr);
    // The web page, capture, the ticker, the receipts still under way (their records go to the
    // sinks), then the sinks (they get a few seconds for what is queued). A second call is
    // harmless.
    void Stop();

    // Receipts are read by these settings' templates and rules from now on, and the web page's
    // rules page shows them: after the property sheet changed the exception settings.
    void UseReceiptSettings(const Settings& read);

    ChannelTable& Table() { return table; }
    OverlayOutput& Overlay() { return overlay; }
    LineDelivery& Delivery() { return delivery; }
    LineOutputs& Sinks() { return sinks; }
    ChannelCapture& Capture() { return capture; }
    FeedHealthWatch& Health() { return health; }
    WebFront& Web() { return web; }
    const std::string& WebError() const { return webError; }

  private:
    ChannelTable table;
    OverlayOutput overlay;
    LineDelivery delivery{overlay};
    LineOutputs sinks;
    ReceiptTicker ticker{delivery};
    ChannelCapture capture{table, delivery};
    FeedHealthWatch health{delivery, capture};
    WebFront web;
    std::string webError;
};

}  // namespace zamri
