#include "web_abuse.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/channel_table.h"
#include "delivery/line_delivery.h"
#include "net/send_all.h"
#include "net/socket_seam.h"
#include "web/web_front.h"

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;
using zamri::kInvalidSocket;
using zamri::SocketHandle;

const char kPassword[] = "soak";
const char kRight[] = "Authorization: Basic c29hazpzb2Fr\r\n";  // soak:soak
// Each hostile kind from an address of its own, so that each meets its own limit.
const char kHolders[] = "127.0.0.2";
const char kStallers[] = "127.0.0.3";
const char kStrangers[] = "127.0.0.4";
const char kGuessers[] = "127.0.0.5";
constexpr int kHoldersAtOnce = 40;  // more than one address may have

bool Pause(const std::atomic<bool>& stop, int milliseconds) {
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stop.load() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !stop.load();
}

// Connects from a loopback address and sends a request; kInvalidSocket when either fails.
SocketHandle Ask(const char* from, int port, const std::string& request) {
    SocketHandle socket = zamri::SocketConnectFrom(from, "127.0.0.1", port);
    if (socket != kInvalidSocket && !request.empty() && !zamri::SocketSendAll(socket, request)) {
        zamri::SocketClose(socket);
        return kInvalidSocket;
    }
    return socket;
}

// Reads up to the end of the response head; its status, or 0 when none came in time. What
// came after the head is left in *rest.
int ReadStatus(SocketHandle socket, int milliseconds, std::string* rest) {
    std::string in;
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    char chunk[4096];
    size_t head;
    while ((head = in.find("\r\n\r\n")) == std::string::npos) {
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
        if (left <= 0 || zamri::SocketWaitReadable(socket, left) != 1)
            return 0;
        int n = zamri::SocketReceive(socket, chunk, sizeof chunk);
        if (n <= 0)
            return 0;
        in.append(chunk, static_cast<size_t>(n));
    }
    if (rest != nullptr)
        *rest = in.substr(head + 4);
    return in.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(in.c_str() + 9) : 0;
}

// One request on its own connection; the answer's status, or 0.
int StatusOf(const char* from, int port, const std::string& request) {
    SocketHandle socket = Ask(from, port, request);
    if (socket == kInvalidSocket)
        return 0;
    int status = ReadStatus(socket, 15000, nullptr);
    zamri::SocketClose(socket);
    return status;
}

std::string Get(const std::string& target, const std::string& headers) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "Connection: close\r\n\r\n";
}

}  // namespace

WebAbuse::WebAbuse(ChannelTable& table, LineDelivery& delivery) : table_(table), delivery_(delivery) {}

WebAbuse::~WebAbuse() {
    StopBrowsers();
    StopPage();
}

int WebAbuse::StartPage() {
    live_.Start(delivery_);
    web_ = std::make_unique<zamri::WebFront>(table_, delivery_, live_.Feed(), "soak");
    zamri::WebOptions options;
    std::snprintf(options.password, sizeof options.password, "%s", kPassword);
    std::string error;
    if (!web_->StartWith(options, error)) {
        std::fprintf(stderr, "zamri-soak: the web page did not start: %s\n", error.c_str());
        web_.reset();
        return 0;
    }
    port_ = web_->Port();
    return 1;
}

int WebAbuse::FillRing() {
    // In pieces that the page's queue takes whole, each in the ring before the next.
    const int lines = 8192, piece = 1024;
    for (int done = 0; done < lines; done += piece) {
        for (int i = 0; i < piece; ++i)
            delivery_.Deliver(32, 0, "soak", "WARM UP THE LIVE VIEW");
        auto end = Clock::now() + std::chrono::seconds(20);
        while (web_->Feed().NextSeq() <= static_cast<uint64_t>(done + piece) && Clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return lines;
}

void WebAbuse::StartBrowsers() {
    started_ = true;
    reader_ = std::thread([this] { Reader(); });
    poller_ = std::thread([this] { StatusPoller(); });
    hostile_.emplace_back([this] { SlotHolder(); });
    for (int i = 0; i < 4; ++i)
        hostile_.emplace_back([this] { StalledStream(); });
    hostile_.emplace_back([this] { WrongHost(); });
    hostile_.emplace_back([this] { Guesser(); });
}

void WebAbuse::StopBrowsers() {
    if (web_ == nullptr || !started_ || stopped_)
        return;
    stopped_ = true;
    stop_ = true;
    for (std::thread& thread : hostile_)
        thread.join();
    hostile_.clear();
    if (poller_.joinable())
        poller_.join();
    // The well-behaved browser reads on up to the newest line, once the page's own queue has
    // brought it every line delivered (or to the end of the bound).
    auto end = Clock::now() + std::chrono::seconds(20);
    for (;;) {
        newest_ = web_->Feed().NextSeq() - 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        bool settled = web_->Feed().NextSeq() - 1 == newest_ && lastSeq_.load() == newest_;
        if (settled || Clock::now() > end)
            break;
    }
    readerStop_ = true;
    if (reader_.joinable())
        reader_.join();
    zamri::HttpServer* server = web_->Server();
    end = Clock::now() + std::chrono::seconds(20);
    while (server->OpenConnections() + server->OpenStreams() > 0 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    closedAll_ = server->OpenConnections() + server->OpenStreams() == 0;
}

void WebAbuse::StopPage() {
    if (web_ != nullptr)
        web_->Stop();
    web_.reset();
    live_.Stop();
}

// Opens more connections than one address may have, sends nothing on them, holds them a while
// and lets them go.
void WebAbuse::SlotHolder() {
    while (!stop_.load()) {
        std::vector<SocketHandle> held;
        for (int i = 0; i < kHoldersAtOnce && !stop_.load(); ++i) {
            ++slotAttempts_;
            SocketHandle socket = Ask(kHolders, port_, "");
            if (socket != kInvalidSocket)
                held.push_back(socket);
        }
        Pause(stop_, 1500);
        for (SocketHandle socket : held)
            zamri::SocketClose(socket);
        Pause(stop_, 50);
    }
}

// Asks for the live stream, then reads nothing while the lines go by, and goes away.
void WebAbuse::StalledStream() {
    unsigned round = 0;
    while (!stop_.load()) {
        ++stalledStreams_;
        SocketHandle socket = Ask(kStallers, port_, Get("/api/live", kRight));
        if (socket != kInvalidSocket) {
            ReadStatus(socket, 15000, nullptr);
            Pause(stop_, 1000 + static_cast<int>(round++ % 4) * 500);
            // Each stream open around the look holds its limit and a line at most (and one
            // more may have come and gone between the looks).
            zamri::HttpServer* server = web_->Server();
            int before = server->OpenStreams();
            size_t held = server->LiveBytesHeld();
            int streams = std::max(before, server->OpenStreams());
            if (held > static_cast<size_t>(streams + 1) * (zamri::HttpServerLimits().bytesPerWrite + 1024))
                ++overLimit_;
            {
                std::lock_guard<std::mutex> guard(mostLock_);
                if (held > mostHeld_) {
                    mostHeld_ = held;
                    mostHeldStreams_ = streams;
                }
            }
            zamri::SocketClose(socket);
        }
        Pause(stop_, 20);
    }
}

// A page elsewhere whose name now points here: every answer must be 421.
void WebAbuse::WrongHost() {
    while (!stop_.load()) {
        ++wrongHosts_;
        const std::string request = "GET /api/live HTTP/1.1\r\nHost: rebound.example.com\r\n" +
                                    std::string(kRight) + "Connection: close\r\n\r\n";
        if (StatusOf(kStrangers, port_, request) != 421)
            ++wrongHostServed_;
        Pause(stop_, 30);
    }
}

// A new wrong password every time: never let in, and soon held back.
void WebAbuse::Guesser() {
    static const char kDigits[] = "0123456789";
    long n = 0;
    while (!stop_.load()) {
        ++guesses_;
        // "soak:guess<n>" in base64 would do as well; the header only has to differ.
        std::string guess =
            "Authorization: Basic Z3Vlc3M6" + std::string(1, kDigits[n % 10]) + std::to_string(n) + "\r\n";
        ++n;
        int status = StatusOf(kGuessers, port_, Get("/api/status", guess));
        if (status == 200)
            ++guessServed_;
        else if (status == 429)
            ++guessHeld_;
        Pause(stop_, 20);
    }
}

// The well-behaved browser's live stream: every line, or a count of those it skipped, in order.
void WebAbuse::Reader() {
    SocketHandle socket = Ask("127.0.0.1", port_, Get("/api/live", kRight));
    std::string buffer;
    if (socket == kInvalidSocket || ReadStatus(socket, 15000, &buffer) != 200) {
        ++streamBroken_;
        if (socket != kInvalidSocket)
            zamri::SocketClose(socket);
        return;
    }
    uint64_t expected = 0;  // 0: the first line tells where the stream starts
    char chunk[16384];
    while (!readerStop_.load()) {
        size_t end;
        while ((end = buffer.find("\n\n")) != std::string::npos) {
            std::string event = buffer.substr(0, end + 1);
            buffer.erase(0, end + 2);
            if (event.compare(0, 4, "id: ") == 0) {
                uint64_t seq = std::strtoull(event.c_str() + 4, nullptr, 10);
                if (expected != 0 && seq != expected)
                    ++streamBroken_;  // a gap the stream did not announce, or a line twice
                expected = seq + 1;
                lastSeq_ = seq;
                ++linesRead_;
            } else if (event.compare(0, 15, "event: skipped\n") == 0) {
                size_t at = event.find("\"count\":");
                long count = at == std::string::npos ? 0 : std::atol(event.c_str() + at + 8);
                linesSkipped_ += count;
                if (expected != 0)
                    expected += static_cast<uint64_t>(count);
            }
        }
        if (zamri::SocketWaitReadable(socket, 100) != 1)
            continue;
        int n = zamri::SocketReceive(socket, chunk, sizeof chunk);
        if (n <= 0) {
            ++streamBroken_;
            break;
        }
        buffer.append(chunk, static_cast<size_t>(n));
    }
    zamri::SocketClose(socket);
}

// The well-behaved browser's status page, asked for again and again as the page does.
void WebAbuse::StatusPoller() {
    while (!stop_.load()) {
        ++statusAsked_;
        if (StatusOf("127.0.0.1", port_, Get("/api/status", kRight)) != 200)
            ++statusFailed_;
        Pause(stop_, 100);
    }
}

void WebAbuse::Print() const {
    if (web_ == nullptr)
        return;
    zamri::HttpServer* server = web_->Server();
    std::printf(
        "  web page: slot holders %ld connections (%llu refused at once), stalled live streams %ld "
        "(most held unsent %zu bytes by %d streams),\n"
        "    wrong Host %ld (%ld served), password guesses %ld (%ld let in, %ld held back);\n"
        "    the well-behaved browser: status %ld times (%ld failed), live stream %ld lines and %ld "
        "skipped up to line %llu of %llu (%ld breaks); connections left %d\n",
        slotAttempts_.load(), static_cast<unsigned long long>(server->RefusedConnections()),
        stalledStreams_.load(), mostHeld_, mostHeldStreams_, wrongHosts_.load(), wrongHostServed_.load(),
        guesses_.load(), guessServed_.load(), guessHeld_.load(), statusAsked_.load(), statusFailed_.load(),
        linesRead_.load(), linesSkipped_.load(), static_cast<unsigned long long>(lastSeq_.load()),
        static_cast<unsigned long long>(newest_), streamBroken_.load(),
        server->OpenConnections() + server->OpenStreams());
}

int WebAbuse::Failures() const {
    if (web_ == nullptr)
        return 1;
    zamri::HttpServer* server = web_->Server();
    int failures = 0;
    auto check = [&](bool held, const char* what) {
        if (!held) {
            std::printf("FAILED: web page: %s\n", what);
            ++failures;
        }
    };
    check(statusFailed_.load() == 0 && statusAsked_.load() > 0,
          "the well-behaved browser was not always served");
    check(streamBroken_.load() == 0 && lastSeq_.load() == newest_,
          "the well-behaved browser's live stream broke or fell short");
    check(wrongHostServed_.load() == 0, "a request under another name was served");
    check(guessServed_.load() == 0 && guessHeld_.load() > 0, "password guesses were let in or not held back");
    check(server->RefusedConnections() > 0, "one address held more connections than its share");
    check(overLimit_.load() == 0, "the live streams held more than their limit");
    check(closedAll_, "connections were left open");
    return failures;
}

}  // namespace soak
