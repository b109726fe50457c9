// The web page's share of the fault soak. The page runs on the soak's channel table (with a
// password), so every line the senders send also reaches its live feed. While they send,
// hostile browsers from other loopback addresses hold every connection one address may have,
// open live streams and stop reading, ask under names that are not the page's and guess its
// password; a well-behaved browser from 127.0.0.1 reads the live stream and asks for the
// status throughout, and must be served every time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/live_view.h"

class ChannelTable;
class LineDelivery;

namespace zamri {
class WebFront;
}

namespace soak {

class WebAbuse {
  public:
    WebAbuse(ChannelTable& table, LineDelivery& delivery);
    ~WebAbuse();
    WebAbuse(const WebAbuse&) = delete;
    WebAbuse& operator=(const WebAbuse&) = delete;

    // Serves the page on a free port of 127.0.0.1. 1, or 0 with the reason on standard error.
    int StartPage();
    // Lines that fill the live feed's ring once, so that its memory is in place before the soak
    // takes its figures (each is delivered, and so written to the overlay, too).
    int FillRing();
    void StartBrowsers();
    // Ends the hostile browsers, lets the well-behaved one read up to the newest line, and waits
    // until the page has no connection left.
    void StopBrowsers();
    void StopPage();

    void Print() const;
    // What went wrong for the well-behaved browser or in the page's answers (0: all held).
    int Failures() const;

  private:
    void SlotHolder();
    void StalledStream();
    void WrongHost();
    void Guesser();
    void Reader();
    void StatusPoller();

    ChannelTable& table_;
    LineDelivery& delivery_;
    zamri::LiveView live_;
    std::unique_ptr<zamri::WebFront> web_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> readerStop_{false};
    std::vector<std::thread> hostile_;
    std::thread reader_, poller_;

    std::atomic<long> slotAttempts_{0}, stalledStreams_{0}, wrongHosts_{0}, guesses_{0};
    std::atomic<long> wrongHostServed_{0}, guessServed_{0}, guessHeld_{0};
    std::atomic<long> statusAsked_{0}, statusFailed_{0};
    std::atomic<long> linesRead_{0}, linesSkipped_{0}, streamBroken_{0};
    std::atomic<uint64_t> lastSeq_{0};
    std::atomic<long> overLimit_{0};
    std::mutex mostLock_;
    size_t mostHeld_ = 0;  // under mostLock_, as mostHeldStreams_
    int mostHeldStreams_ = 0;
    uint64_t newest_ = 0;
    bool started_ = false;
    bool stopped_ = false;
    bool closedAll_ = false;
};

}  // namespace soak
