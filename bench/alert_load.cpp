// Webhooks on loopback, in one run:
//  - the time from an exception's Post to the moment the receiver has read the whole request
//    (median and 99th percentile, over HTTP and over HTTPS with the connection kept open);
//  - delivery throughput: a burst of exceptions posted at once, until the receiver has them all;
//  - what a hook costs the line road: the golden receipts decoded and handed through the delivery
//    step (masks, filter, overlay library recording to /dev/null) with an alert sink that makes
//    every line's record and posts it as an exception to one or two hooks whose receiver never
//    answers, against no hook (with and without making the records), alternating so that other
//    load on the machine falls on all alike; in lines per CPU second of the delivering thread,
//    which that load hardly moves, and per second of the clock.
//
// The receiver is here, on loopback: a small HTTP/1.1 server, with OpenSSL for HTTPS and a
// certificate that openssl makes at the start.
//
// Usage: bench_alert_load [requests]   (default 400 requests over each of HTTP and HTTPS)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alert/webhook_dispatcher.h"
#include "golden_corpus.h"
#include "journal/delivered_record.h"
#include "journal/journal_record.h"
#include "program/program.h"

using Clock = std::chrono::steady_clock;

namespace {

int ListenOnLoopback(int* port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(s, 64);
    socklen_t size = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    *port = ntohs(address.sin_port);
    return s;
}

// Reads requests and answers 200 to each; notes when each request's body (holding "seq":N) has
// arrived whole.
class Receiver {
  public:
    Receiver(SSL_CTX* tls, size_t requests) : tls(tls), arrived(requests) {
        listener = ListenOnLoopback(&port);
        acceptor = std::thread([this] { Accept(); });
    }
    ~Receiver() {
        stopping = true;
        shutdown(listener, SHUT_RDWR);
        close(listener);
        acceptor.join();
        for (auto& t : connections)
            t.join();
    }
    int Port() const { return port; }
    Clock::time_point WaitFor(size_t seq) {
        std::unique_lock<std::mutex> guard(lock);
        if (!changed.wait_for(guard, std::chrono::seconds(60),
                              [&] { return arrived[seq] != Clock::time_point(); })) {
            std::fprintf(stderr, "request %zu never arrived\n", seq);
            std::exit(1);
        }
        return arrived[seq];
    }

  private:
    void Accept() {
        for (;;) {
            int c = accept(listener, nullptr, nullptr);
            if (c < 0)
                return;
            int one = 1;
            setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            connections.emplace_back([this, c] { Serve(c); });
        }
    }
    void Serve(int c) {
        SSL* ssl = nullptr;
        if (tls != nullptr) {
            ssl = SSL_new(tls);
            SSL_set_fd(ssl, c);
            if (SSL_accept(ssl) != 1) {
                SSL_free(ssl);
                close(c);
                return;
            }
        }
        auto readSome = [&](char* buffer, int n) {
            return ssl ? SSL_read(ssl, buffer, n) : (int)recv(c, buffer, n, 0);
        };
        auto writeAll = [&](const std::string& text) {
            if (ssl)
                SSL_write(ssl, text.data(), (int)text.size());
            else
                send(c, text.data(), text.size(), MSG_NOSIGNAL);
        };
        std::string data;
        char buffer[16384];
        while (!stopping) {
            size_t headerEnd;
            while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
                int n = readSome(buffer, sizeof buffer);
                if (n <= 0)
                    goto done;
                data.append(buffer, n);
            }
            size_t lengthAt = data.find("Content-Length: ");
            size_t length =
                lengthAt < headerEnd ? std::strtoul(data.c_str() + lengthAt + 16, nullptr, 10) : 0;
            while (data.size() < headerEnd + 4 + length) {
                int n = readSome(buffer, sizeof buffer);
                if (n <= 0)
                    goto done;
                data.append(buffer, n);
            }
            Clock::time_point now = Clock::now();
            std::string body = data.substr(headerEnd + 4, length);
            data.erase(0, headerEnd + 4 + length);
            size_t seqAt = body.find("\"seq\":");
            if (seqAt != std::string::npos) {
                size_t seq = std::strtoul(body.c_str() + seqAt + 6, nullptr, 10);
                std::lock_guard<std::mutex> guard(lock);
                if (seq < arrived.size())
                    arrived[seq] = now;
                changed.notify_all();
            }
            writeAll("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
        }
    done:
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        close(c);
    }

    SSL_CTX* tls;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread acceptor;
    std::vector<std::thread> connections;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Clock::time_point> arrived;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * (values.size() - 1))];
}

zamri::WebhookConfig Hook(const std::string& url, const std::string& caFile) {
    zamri::WebhookConfig hook;
    hook.number = 1;
    std::string error;
    zamri::ParseHttpUrl(url, &hook.url, &error);
    hook.secret = "bench-secret";
    hook.caFile = caFile;
    return hook;
}

// An exception record of the size the journal writes.
std::string Record(size_t seq) {
    return "{\"event\":\"exception\",\"seq\":" + std::to_string(seq) +
           ",\"time\":\"2026-12-08T14:01:52.120+01:00\",\"camera\":3,\"source\":\"COM3\",\"receipt\":17,"
           "\"cashier\":\"17\",\"kind\":\"refund\",\"amount\":-12.5,\"line\":\"REFUND            12.50\"}\n";
}

void Latency(const char* name, const std::string& url, const std::string& caFile, SSL_CTX* tls,
             size_t requests) {
    Receiver receiver(tls, requests + 1);
    zamri::WebhookDispatcherOptions options;
    options.storeName = "Bench Store";
    zamri::WebhookDispatcher dispatcher({Hook(url + std::to_string(receiver.Port()) + "/in", caFile)},
                                        options);
    dispatcher.Start();
    // The first request opens the connection (and for HTTPS makes the handshake).
    auto first = Clock::now();
    dispatcher.Post(zamri::AlertEvent::kException, Record(0));
    double opening = std::chrono::duration<double, std::milli>(receiver.WaitFor(0) - first).count();
    std::vector<double> ms;
    for (size_t seq = 1; seq <= requests; ++seq) {
        auto posted = Clock::now();
        dispatcher.Post(zamri::AlertEvent::kException, Record(seq));
        ms.push_back(std::chrono::duration<double, std::milli>(receiver.WaitFor(seq) - posted).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    dispatcher.Stop(1000);
    std::printf(
        "%-6s exception to request received: median %.3f ms, p99 %.3f ms, max %.3f ms (%zu requests; the "
        "first, opening the connection, %.3f ms)\n",
        name, Percentile(ms, 0.5), Percentile(ms, 0.99), Percentile(ms, 1.0), ms.size(), opening);
}

// A burst of exceptions posted at once; requests a second until the receiver has read them all.
void Throughput(const char* name, const std::string& url, const std::string& caFile, SSL_CTX* tls,
                size_t burst) {
    Receiver receiver(tls, burst + 1);
    zamri::WebhookDispatcherOptions options;
    options.storeName = "Bench Store";
    options.queueCapacity = burst + 1;
    options.outboxCapacity = burst + 1;
    zamri::WebhookDispatcher dispatcher({Hook(url + std::to_string(receiver.Port()) + "/in", caFile)},
                                        options);
    dispatcher.Start();
    dispatcher.Post(zamri::AlertEvent::kException, Record(0));
    receiver.WaitFor(0);  // the connection is open
    auto start = Clock::now();
    for (size_t seq = 1; seq <= burst; ++seq)
        dispatcher.Post(zamri::AlertEvent::kException, Record(seq));
    Clock::time_point last = start;
    for (size_t seq = 1; seq <= burst; ++seq)
        last = std::max(last, receiver.WaitFor(seq));
    double seconds = std::chrono::duration<double>(last - start).count();
    dispatcher.Stop(1000);
    std::printf("%-6s delivery: a burst of %zu exceptions received in %.3f s, %.0f requests a second\n", name,
                burst, seconds, burst / seconds);
}

const std::string& Corpus() {
    static const std::string corpus = bench_support::GoldenCorpus(-1);
    return corpus;
}

// Posts every line it is handed as an exception, its record made as the journal makes one: the
// most an alert can cost a line.
class AlertEverySink : public LineSink {
  public:
    // alwaysRecord: the record is made even when no hook wants it, as the journal makes it anyway.
    AlertEverySink(zamri::WebhookDispatcher& dispatcher, bool alwaysRecord)
        : dispatcher(dispatcher), alwaysRecord(alwaysRecord) {}
    bool WantsUtf8() const override { return true; }
    void Accept(const DeliveredLine& line) override {
        if (!alwaysRecord && !dispatcher.Wanted(zamri::AlertEvent::kException))
            return;
        zamri::JournalRecord record;
        zamri::RecordFromDelivered(line, &record);
        text.clear();
        zamri::AppendRecordLine(record, &text);
        dispatcher.Post(zamri::AlertEvent::kException, text);
    }

  private:
    zamri::WebhookDispatcher& dispatcher;
    const bool alwaysRecord;
    std::string text;
};

double ThreadCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

struct RoadRate {
    double perCpuSecond = 0;  // of the delivering thread: what the machine's other load hardly moves
    double perSecond = 0;
};

// Lines a second through the delivery step, decoding the corpus `rounds` times.
RoadRate LineRoad(std::vector<zamri::WebhookConfig> hooks, bool alwaysRecord, int rounds, uint64_t* dropped) {
    zamri::WebhookDispatcherOptions options;
    options.storeName = "Bench Store";
    options.timeoutMilliseconds = 120000;
    zamri::WebhookDispatcher dispatcher(hooks, options);
    dispatcher.Start();
    auto program = std::make_unique<zamri::Program>();
    program->Delivery().AddSink(std::make_shared<AlertEverySink>(dispatcher, alwaysRecord));
    const std::string& bytes = Corpus();
    long lines = 0;
    auto start = Clock::now();
    double cpuStart = ThreadCpuSeconds();
    for (int round = 0; round < rounds; ++round)
        lines += bench_support::DecodeAndDeliver(bytes, 2, program->Delivery());
    RoadRate rate;
    rate.perCpuSecond = lines / (ThreadCpuSeconds() - cpuStart);
    rate.perSecond = lines / std::chrono::duration<double>(Clock::now() - start).count();
    *dropped = 0;
    for (const auto& s : dispatcher.Status())
        *dropped += s.counts.dropped;
    dispatcher.Stop(0);
    return rate;
}

}  // namespace

int main(int argc, char** argv) {
    size_t requests = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400;
    setenv("OVTEXT_LOG", "/dev/null", 1);
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("bench_alert_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string cert = (dir / "server.pem").string(), key = (dir / "server.key").string();
    std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -addext "
        "subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
        key + " -out " + cert + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "openssl could not make the certificate\n");
        return 1;
    }
    SSL_CTX* tls = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(tls, cert.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(tls, key.c_str(), SSL_FILETYPE_PEM);

    Latency("HTTP", "http://127.0.0.1:", "", nullptr, requests);
    Latency("HTTPS", "https://localhost:", cert, tls, requests);
    Throughput("HTTP", "http://127.0.0.1:", "", nullptr, 2000);
    Throughput("HTTPS", "https://localhost:", cert, tls, 2000);

    // A receiver that never answers: it listens, so connections and requests go through, but it
    // never reads nor replies.
    int port = 0;
    int silent = ListenOnLoopback(&port);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/in";
    zamri::WebhookConfig second = Hook(url, "");
    second.number = 2;
    struct Setup {
        const char* name;
        std::vector<zamri::WebhookConfig> hooks;
        bool alwaysRecord;
    };
    const Setup setups[] = {{"no hook", {}, false},
                            {"no hook, records made all the same", {}, true},
                            {"one hook, receiver never answers", {Hook(url, "")}, false},
                            {"two hooks, receiver never answers", {Hook(url, ""), second}, false}};
    constexpr int kSetups = sizeof setups / sizeof setups[0];
    constexpr int kRounds = 5;
    std::vector<double> cpuRates[kSetups], rates[kSetups];
    uint64_t dropped[kSetups] = {};
    for (int round = 0; round < kRounds; ++round)
        for (int k = 0; k < kSetups; ++k) {
            RoadRate rate = LineRoad(setups[k].hooks, setups[k].alwaysRecord, 16, &dropped[k]);
            cpuRates[k].push_back(rate.perCpuSecond);
            rates[k].push_back(rate.perSecond);
        }
    std::printf(
        "line road, every line an exception (medians of %d rounds; lines a second of the delivering "
        "thread's CPU, and of the clock):\n",
        kRounds);
    double cpuBase = Percentile(cpuRates[0], 0.5), base = Percentile(rates[0], 0.5);
    for (int k = 0; k < kSetups; ++k)
        std::printf(
            "  %-36s %8.0f per CPU second (%.2f of no hook), %8.0f per second (%.2f); %llu dropped in "
            "the last round\n",
            setups[k].name, Percentile(cpuRates[k], 0.5), Percentile(cpuRates[k], 0.5) / cpuBase,
            Percentile(rates[k], 0.5), Percentile(rates[k], 0.5) / base,
            static_cast<unsigned long long>(dropped[k]));
    close(silent);
    SSL_CTX_free(tls);
    std::filesystem::remove_all(dir);
    return 0;
}
