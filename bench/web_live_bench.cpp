// The web page's live view under load (a load tool, not Google Benchmark: each figure is one
// run of the real parts):
//   1. stream: lines per second the live stream keeps up with before it skips, read by a
//      client that parses every event, lines fed through the delivery step at a set rate;
//   2. capture: TCP capture's line rate with the page off, on without browsers, and with 20
//      live streams open (rounds alternate, medians reported);
//   3. latency: from OV_write to the line in a real headless Chromium page (median, 99th
//      percentile), at 200 lines per second;
//   4. stalled: the memory that 100 live streams hold while their readers have stopped
//      reading (from ten loopback addresses), with the longest lines a till can send.
// Usage: bench_web_live [stream] [capture] [latency] [stalled]   (default: all four)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "delivery/delivered_line.h"
#include "net/socket_seam.h"
#include "program/program.h"
#include "send_client.h"
#include "support/browser.h"
#include "support/http_client.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"
#include "web/live_view.h"
#include "web/web_front.h"

using namespace zamri;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    if (values.empty())
        return 0;
    size_t index = static_cast<size_t>(p / 100.0 * (values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

int64_t WallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Counts every delivered line (and, when asked, notes when each was delivered, right after
// its OV_write).
class CountingSink : public LineSink {
  public:
    void Accept(const DeliveredLine& line) override {
        if (recordTimes) {
            std::lock_guard<std::mutex> guard(lock);
            times[line.text] = WallMicros();
        }
        ++count;
    }
    std::atomic<long> count{0};
    bool recordTimes = false;
    std::mutex lock;
    std::map<std::string, int64_t> times;
};

// A live stream read on its own thread, as fast as the events come.
class DrainingClient {
  public:
    explicit DrainingClient(int port) {
        open = client.Open(port) != 0;
        if (open)
            reader = std::thread([this] {
                testing_support::StreamEvent event;
                while (!stop.load()) {
                    if (client.Next(event, 200) == 0)
                        continue;
                    if (event.event == "line") {
                        ++lines;
                        lastSeq = testing_support::JsonNumber(event.data, "seq");
                    } else if (event.event == "skipped") {
                        skipped += testing_support::JsonNumber(event.data, "count");
                    }
                }
            });
    }
    ~DrainingClient() {
        stop = true;
        if (reader.joinable())
            reader.join();
    }
    testing_support::LiveClient client;
    std::thread reader;
    std::atomic<bool> stop{false};
    std::atomic<long> lines{0};
    std::atomic<long> skipped{0};
    std::atomic<long long> lastSeq{0};
    bool open = false;
};

int StartWeb(WebFront& web) {
    WebOptions options;
    options.port = 0;
    std::string error;
    if (!web.StartWith(options, error)) {
        std::fprintf(stderr, "web page: %s\n", error.c_str());
        return 0;
    }
    return 1;
}

// 1. The stream's sustainable rate.
void StreamRates() {
    std::printf("== live stream: lines per second before it skips (one client parsing every event)\n");
    std::printf("%10s %10s %10s %10s %s\n", "rate/s", "delivered", "received", "skipped", "");
    const int rates[] = {1000, 5000, 10000, 20000, 50000, 100000, 200000, 400000};
    for (int rate : rates) {
        zamri::Program program;
        ChannelTable& table = program.Table();
        zamri::LiveView live;
        live.Start(program.Delivery());
        WebFront web(table, program.Delivery(), live.Feed(), "bench");
        if (!StartWeb(web))
            return;
        DrainingClient reader(web.Port());
        const double seconds = 2.0;
        const long total = static_cast<long>(rate * seconds);
        char text[64];
        Clock::time_point start = Clock::now();
        long sent = 0;
        while (sent < total) {
            long due = static_cast<long>(std::chrono::duration<double>(Clock::now() - start).count() * rate);
            for (; sent < std::min(due, total); ++sent) {
                std::snprintf(text, sizeof text, "ITEM %08ld ............... 12.50", sent);
                program.Delivery().Deliver(1 + static_cast<int>(sent % 8), 0, "bench", text);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        double took = std::chrono::duration<double>(Clock::now() - start).count();
        Clock::time_point deadline = Clock::now() + std::chrono::seconds(20);
        while (reader.lines.load() + reader.skipped.load() < total && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::printf("%10d %10ld %10ld %10ld %s\n", static_cast<int>(total / took), total, reader.lines.load(),
                    reader.skipped.load(), reader.skipped.load() == 0 ? "keeps up" : "SKIPS (and says so)");
    }
}

// 2. Capture's rate with the page off, on, and with 20 streams open.
double CaptureRun(int mode, int liveClients) {
    const int senders = 8, perSender = 15000;  // 120000 lines
    zamri::Program program;
    ChannelTable& table = program.Table();
    auto counter = std::make_shared<CountingSink>();
    program.Delivery().AddSink(counter);
    table.SetMode(1);
    table.SetTcpPort(0);
    table.StartCapture();
    zamri::LiveView live;
    live.Start(program.Delivery());
    WebFront web(table, program.Delivery(), live.Feed(), "bench");
    if (mode != 0 && !StartWeb(web))
        return 0;
    // Browsers live on other machines; here each stream is only read and thrown away, so the
    // readers cost this machine as little as possible.
    std::atomic<bool> stopReading{false};
    std::vector<std::thread> readers;
    std::vector<SocketHandle> sockets;
    for (int i = 0; i < liveClients; ++i) {
        SocketHandle socket = SocketConnect("127.0.0.1", web.Port());
        const char request[] = "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        SocketSend(socket, request, sizeof request - 1);
        sockets.push_back(socket);
    }
    readers.emplace_back([&] {
        std::vector<char> buffer(1 << 16);
        std::vector<pollfd> watched;
        for (SocketHandle socket : sockets)
            watched.push_back(pollfd{static_cast<int>(socket), POLLIN, 0});
        while (!stopReading.load()) {
            if (poll(watched.data(), watched.size(), 50) <= 0)
                continue;
            for (pollfd& one : watched)
                if (one.revents != 0 && recv(one.fd, buffer.data(), buffer.size(), MSG_DONTWAIT) <= 0)
                    one.fd = -1;  // closed: poll skips it from now on
        }
    });
    std::vector<std::string> streams;
    for (int c = 0; c < senders; ++c) {
        std::string stream;
        unsigned char frame[96];
        for (int i = 0; i < perSender; ++i) {
            char text[64];
            int n = std::snprintf(text, sizeof text, "ITEM %02d %08d ........... 12.50\n", c, i);
            int size = EncodeTextLineFrame(1 + c, text, n, frame, sizeof frame);
            stream.append(reinterpret_cast<char*>(frame), static_cast<size_t>(size));
        }
        streams.push_back(stream);
    }
    std::vector<std::unique_ptr<SendClient>> clients;
    for (int c = 0; c < senders; ++c) {
        clients.emplace_back(new SendClient);
        if (!clients.back()->Connect("127.0.0.1", program.Capture().TcpServer()->ListeningPort()) ||
            clients.back()->OpeningExchange() != 1)
            return 0;
    }
    Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < senders; ++c)
        threads.emplace_back(
            [&, c] { clients[c]->SendBytes(streams[c].data(), static_cast<int>(streams[c].size())); });
    for (std::thread& t : threads)
        t.join();
    const long total = static_cast<long>(senders) * perSender;
    while (counter->count.load() < total)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    double rate = total / std::chrono::duration<double>(Clock::now() - start).count();
    stopReading = true;
    for (std::thread& reader : readers)
        reader.join();
    for (SocketHandle socket : sockets)
        SocketClose(socket);
    table.StopCapture();
    return rate;
}

void CaptureRates() {
    const int rounds = 9;
    std::printf("== TCP capture rate (8 senders, 120000 lines to the overlay library), %d rounds\n", rounds);
    std::printf(
        "   each round runs the three cases back to back; the ratios are per round, so a machine\n"
        "   that others load slows all three alike\n");
    std::vector<double> off, on, twenty, onRatio, twentyRatio, twentyToOn;
    for (int round = 0; round < rounds; ++round) {
        off.push_back(CaptureRun(0, 0));
        on.push_back(CaptureRun(1, 0));
        twenty.push_back(CaptureRun(1, 20));
        onRatio.push_back(on.back() / off.back());
        twentyRatio.push_back(twenty.back() / off.back());
        twentyToOn.push_back(twenty.back() / on.back());
    }
    std::printf("page off:                 median %9.0f lines/s\n", Median(off));
    std::printf("page on, no browser:      median %9.0f lines/s, per round %+.1f%% (median)\n", Median(on),
                (Median(onRatio) - 1) * 100);
    std::printf(
        "page on, 20 live streams: median %9.0f lines/s, per round %+.1f%% to page off, %+.1f%% to page on\n",
        Median(twenty), (Median(twentyRatio) - 1) * 100, (Median(twentyToOn) - 1) * 100);
}

// 3. OV_write to the page in Chromium.
void Latency() {
    std::printf("== latency from OV_write to the line in headless Chromium, 200 lines/s\n");
    zamri::Program program;
    ChannelTable& table = program.Table();
    auto times = std::make_shared<CountingSink>();
    times->recordTimes = true;
    program.Delivery().AddSink(times);  // before the page's sink: called right after OV_write
    table.SetMode(1);
    table.SetTcpPort(0);
    table.StartCapture();
    zamri::LiveView live;
    live.Start(program.Delivery());
    WebFront web(table, program.Delivery(), live.Feed(), "bench");
    if (!StartWeb(web))
        return;
    testing_support::Browser browser;
    if (!browser.Start() || !browser.Navigate(web.LocalAddress()) ||
        !browser.WaitFor("document.getElementById('conn').textContent === 'live'")) {
        std::printf("chromium: %s\n", browser.Error().c_str());
        return;
    }
    browser.Evaluate(
        "(() => { window.arrivals = []; new MutationObserver((ms) => {"
        " const t = performance.timeOrigin + performance.now();"
        " for (const m of ms) for (const n of m.addedNodes) { if (n.nodeType !== 1) continue;"
        "  const ls = n.classList.contains('line') ? [n] : n.querySelectorAll('.line');"
        "  for (const l of ls) window.arrivals.push([l.textContent, t]); } })"
        ".observe(document.getElementById('panels'), {childList: true, subtree: true}); return 1; })()");
    // A plain client on the stream beside the browser: the server's share of the time.
    struct {
        testing_support::LiveClient client;
        std::atomic<bool> stop{false};
    } stream;
    std::vector<std::pair<std::string, int64_t>> streamArrivals;
    if (!stream.client.Open(web.Port()))
        return;
    std::thread streamReader([&] {
        testing_support::StreamEvent event;
        while (!stream.stop.load())
            if (stream.client.Next(event, 100) && event.event == "line")
                streamArrivals.emplace_back(testing_support::JsonText(event.data, "text"), WallMicros());
    });
    SendClient sender;
    if (!sender.Connect("127.0.0.1", program.Capture().TcpServer()->ListeningPort()) ||
        sender.OpeningExchange() != 1) {
        stream.stop = true;
        streamReader.join();
        return;
    }
    const int count = 2000;
    Clock::time_point start = Clock::now();
    for (int i = 0; i < count; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(5000LL * i));
        std::string text = "LAT " + std::to_string(i) + "\n";
        sender.SendTextLine(1 + i % 4, text.data(), static_cast<int>(text.size()));
    }
    browser.WaitFor("window.arrivals.length >= " + std::to_string(count), 30000);
    std::string json = browser.Evaluate("window.arrivals");
    stream.stop = true;
    streamReader.join();
    std::vector<double> latencies, streamLatencies;
    size_t at = 0;
    std::lock_guard<std::mutex> guard(times->lock);
    std::map<std::string, int64_t> seen;  // a line counts once, when it first shows
    while ((at = json.find("[\"LAT ", at)) != std::string::npos) {
        size_t quote = json.find('"', at + 2);
        std::string text = json.substr(at + 2, quote - at - 2);
        double arrival = std::atof(json.c_str() + quote + 2);
        auto found = times->times.find(text);
        if (found != times->times.end() && seen.emplace(text, 0).second)
            latencies.push_back(arrival - found->second / 1000.0);
        at = quote;
    }
    for (const auto& arrival : streamArrivals) {
        auto found = times->times.find(arrival.first);
        if (found != times->times.end())
            streamLatencies.push_back((arrival.second - found->second) / 1000.0);
    }
    std::printf("in Chromium's page:   %zu of %d lines, median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                latencies.size(), count, Median(latencies), Percentile(latencies, 99),
                Percentile(latencies, 100));
    std::printf("at a stream client:   %zu of %d lines, median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                streamLatencies.size(), count, Median(streamLatencies), Percentile(streamLatencies, 99),
                Percentile(streamLatencies, 100));
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// Memory pages that the kernel holds for TCP buffers on the whole machine.
long KernelTcpPages() {
    std::ifstream sockstat("/proc/net/sockstat");
    std::string word;
    while (sockstat >> word)
        if (word == "mem")
            return [&] {
                long pages = 0;
                sockstat >> pages;
                return pages;
            }();
    return 0;
}

// A browser that asks for the live stream and then never reads: a small receive buffer, so
// its side of the connection fills at once.
int StalledStream(int port, int index) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(0x7F000000u + 10u + static_cast<unsigned>(index % 10));
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        close(fd);
        return -1;
    }
    const char request[] = "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request, sizeof request - 1, MSG_NOSIGNAL) <= 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// 4. What stalled streams hold: the same flood twice, first with no stream open (so that the
// feed's ring and the queues have grown to their full size), then with the stalled streams.
void StalledStreams() {
    const int streams = 100, lines = 16384;
    std::printf("== memory held by %d live streams whose readers stopped reading, %d lines of 1023 '<'\n",
                streams, lines);
    zamri::Program program;
    ChannelTable& table = program.Table();
    zamri::LiveView live;
    live.Start(program.Delivery());
    WebFront web(table, program.Delivery(), live.Feed(), "bench");
    if (!StartWeb(web))
        return;
    // Each '<' leaves the JSON as the six bytes \u003c: the largest event a line can make.
    const std::string text(1023, '<');
    auto flood = [&] {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < lines; ++i) {
            program.Delivery().Deliver(1 + i % 8, 0, "bench", text.c_str());
            if (i % 256 == 255)
                std::this_thread::sleep_until(start + std::chrono::milliseconds(i / 4));  // 4000 lines/s
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));
    };
    flood();
    long residentBefore = ResidentKiB();
    long kernelBefore = KernelTcpPages();
    std::vector<int> sockets;
    for (int i = 0; i < streams; ++i) {
        int fd = StalledStream(web.Port(), i);
        if (fd >= 0)
            sockets.push_back(fd);
    }
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (web.Server()->OpenStreams() < static_cast<int>(sockets.size()) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    flood();
    long residentPeak = ResidentKiB();
    long kernelPeak = KernelTcpPages();
    std::printf(
        "streams open: %d of %zu, resident memory %+ld KiB (%ld KiB a stream), kernel TCP buffers "
        "%+ld KiB (%ld KiB a stream)\n",
        web.Server()->OpenStreams(), sockets.size(), residentPeak - residentBefore,
        (residentPeak - residentBefore) / std::max<long>(1, static_cast<long>(sockets.size())),
        (kernelPeak - kernelBefore) * 4,
        (kernelPeak - kernelBefore) * 4 / std::max<long>(1, static_cast<long>(sockets.size())));
    for (int fd : sockets)
        close(fd);
    deadline = Clock::now() + std::chrono::seconds(30);
    while (web.Server()->OpenStreams() > 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

int main(int argc, char** argv) {
    SocketStartup();
    std::string overlay = "/tmp/zamri-bench-web-overlay-" + std::to_string(getpid()) + ".log";
    setenv("OVTEXT_LOG", overlay.c_str(), 1);
    auto wanted = [&](const char* part) {
        if (argc < 2)
            return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], part) == 0)
                return true;
        return false;
    };
    if (wanted("stream"))
        StreamRates();
    if (wanted("capture"))
        CaptureRates();
    if (wanted("latency"))
        Latency();
    if (wanted("stalled"))
        StalledStreams();
    std::remove(overlay.c_str());
    return 0;
}
