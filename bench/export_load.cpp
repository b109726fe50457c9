// TCP mode end to end with the journal and the syslog export on, against the same with both
// off, in one run: lines per second from 8 clients through the server, line assembly, filter
// and overlay library (recording to a file) to the delivery step, alternating off and on so
// that other load on the machine falls on both alike. The syslog collector is a loopback
// receiver that reads and counts octet-counted frames.
//
// A third run each round stalls both: a journal whose disk never completes a write and a
// collector that accepts the connection but never reads; capture must not notice.
//
// Usage: bench_export_load [rounds]   (default 5 rounds of each)
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/syslog_sink.h"
#include "journal/journal_sink.h"
#include "net/socket_seam.h"
#include "program/program.h"
#include "send_client.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClients = 8;
constexpr int kLinesPerClient = 15000;
constexpr long kTotal = static_cast<long>(kClients) * kLinesPerClient;

class CountingSink : public LineSink {
  public:
    void Accept(const DeliveredLine&) override { count.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<long> count{0};
};

// Accepts one connection and reads everything, counting frames by their length prefixes.
class DrainingCollector {
  public:
    DrainingCollector() {
        listener = zamri::SocketOpenStream();
        zamri::SocketBindAny(listener, 0);
        zamri::SocketListen(listener, 4);
        port = zamri::SocketLocalPort(listener);
        worker = std::thread([this] { Run(); });
    }
    ~DrainingCollector() {
        stop = true;
        worker.join();
        zamri::SocketClose(listener);
    }
    int port = 0;
    std::atomic<long> bytes{0};

  private:
    void Run() {
        zamri::SocketHandle client = zamri::kInvalidSocket;
        std::vector<char> block(1 << 16);
        while (!stop) {
            if (client == zamri::kInvalidSocket) {
                if (zamri::SocketWaitReadable(listener, 50) == 1)
                    client = zamri::SocketAccept(listener, nullptr, 0);
                continue;
            }
            if (zamri::SocketWaitReadable(client, 50) != 1)
                continue;
            int n = zamri::SocketReceive(client, block.data(), static_cast<int>(block.size()));
            if (n <= 0 && !zamri::SocketWouldBlock()) {
                zamri::SocketClose(client);
                client = zamri::kInvalidSocket;
            } else if (n > 0) {
                bytes += n;
            }
        }
        if (client != zamri::kInvalidSocket)
            zamri::SocketClose(client);
    }
    zamri::SocketHandle listener;
    std::thread worker;
    std::atomic<bool> stop{false};
};

// A journal whose disk never finishes a write while the run lasts.
class StalledJournal : public zamri::JournalSink {
  public:
    using JournalSink::JournalSink;
    ~StalledJournal() override {
        Release();
        Stop(0);
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock);
        released = true;
        wake.notify_all();
    }

  protected:
    void Consume(const DeliveredLine& line) override {
        std::unique_lock<std::mutex> guard(lock);
        wake.wait(guard, [&] { return released; });
    }

  private:
    std::mutex lock;
    std::condition_variable wake;
    bool released = false;
};

// A collector that takes connections into its backlog and never reads.
class DeafCollector {
  public:
    DeafCollector() {
        listener = zamri::SocketOpenStream();
        zamri::SocketBindAny(listener, 0);
        zamri::SocketListen(listener, 4);
        port = zamri::SocketLocalPort(listener);
    }
    ~DeafCollector() { zamri::SocketClose(listener); }
    int port = 0;

  private:
    zamri::SocketHandle listener;
};

std::string Streams(int client) {
    static const char* items[] = {"BREAD WHOLEMEAL       1.20", "K\xE4SE GOUDA 200G       2.40",
                                  "MILK 1L               0.99", "COFFEE BEANS 500G     7.90",
                                  "VOID BREAD           -1.20", "TOTAL                13.29"};
    std::string stream;
    unsigned char frame[128];
    for (int i = 0; i < kLinesPerClient; ++i) {
        char text[96];
        int length = std::snprintf(text, sizeof text, "%s%s\n", items[i % 6], i % 6 == 5 ? "\x0C" : "");
        int size = zamri::EncodeTextLineFrame(1 + client * 4 % 32, text, length, frame, sizeof frame);
        stream.append(reinterpret_cast<char*>(frame), static_cast<size_t>(size));
    }
    return stream;
}

struct Result {
    double seconds = 0;
    uint64_t journalWritten = 0, journalDropped = 0, syslogSent = 0, syslogDropped = 0;
};

enum class Mode { Off, On, Stalled };

Result RunOnce(Mode mode, const std::vector<std::string>& streams, const std::string& dir) {
    Result result;
    bool outputs = mode != Mode::Off;
    std::unique_ptr<DrainingCollector> collector;
    std::unique_ptr<DeafCollector> deaf;
    std::shared_ptr<zamri::JournalSink> journal;
    std::shared_ptr<zamri::SyslogSink> syslog;
    zamri::Program program;
    ChannelTable& table = program.Table();
    auto counter = std::make_shared<CountingSink>();
    program.Delivery().AddSink(counter);
    if (outputs) {
        int port = 0;
        std::filesystem::remove_all(dir + "/journal");
        if (mode == Mode::On) {
            collector.reset(new DrainingCollector);
            port = collector->port;
            journal = std::make_shared<zamri::JournalSink>(dir + "/journal", 90, nullptr);
        } else {
            deaf.reset(new DeafCollector);
            port = deaf->port;
            journal = std::make_shared<StalledJournal>(dir + "/journal", 90, nullptr);
        }
        syslog = std::make_shared<zamri::SyslogSink>(zamri::SyslogCollector{false, "127.0.0.1", port},
                                                     zamri::SyslogSink::kDefaultBufferLines, nullptr);
        journal->Start();
        syslog->Start();
        program.Delivery().AddSink(journal);
        program.Delivery().AddSink(syslog);
    }
    table.SetMode(1);
    table.SetTcpPort(0);
    table.StartCapture();
    std::vector<std::unique_ptr<SendClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back(new SendClient);
        if (!clients.back()->Connect("127.0.0.1", program.Capture().TcpServer()->ListeningPort()) ||
            clients.back()->OpeningExchange() != 1) {
            std::fprintf(stderr, "cannot connect\n");
            std::exit(1);
        }
    }
    Clock::time_point start = Clock::now();
    std::vector<std::thread> senders;
    for (int i = 0; i < kClients; ++i)
        senders.emplace_back(
            [&, i] { clients[i]->SendBytes(streams[i].data(), static_cast<int>(streams[i].size())); });
    for (std::thread& t : senders)
        t.join();
    while (counter->count.load() < kTotal)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    table.StopCapture();
    if (outputs) {
        int finish = mode == Mode::On ? 10000 : 0;
        if (mode == Mode::Stalled)
            static_cast<StalledJournal*>(journal.get())->Release();
        journal->Stop(finish);
        syslog->Stop(finish);
        result.journalWritten = journal->Writer().Written();
        result.journalDropped = journal->DroppedLines();
        result.syslogSent = syslog->Exporter().SentMessages();
        result.syslogDropped = syslog->UnsentLines();
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    char pattern[] = "/tmp/zamri-export-bench-XXXXXX";
    std::string dir = mkdtemp(pattern);
    std::string overlay = dir + "/overlay.log";
    setenv("OVTEXT_LOG", overlay.c_str(), 1);
    std::vector<std::string> streams;
    for (int i = 0; i < kClients; ++i)
        streams.push_back(Streams(i));
    std::vector<double> off, on, stalled;
    for (int round = 0; round < rounds; ++round) {
        std::remove(overlay.c_str());
        off.push_back(kTotal / RunOnce(Mode::Off, streams, dir).seconds);
        std::remove(overlay.c_str());
        Result last = RunOnce(Mode::On, streams, dir);
        on.push_back(kTotal / last.seconds);
        std::remove(overlay.c_str());
        Result stall = RunOnce(Mode::Stalled, streams, dir);
        stalled.push_back(kTotal / stall.seconds);
        std::printf(
            "round %d: off %.0f lines/s, on %.0f lines/s (journal %llu written, %llu dropped; syslog %llu "
            "sent, %llu not sent), stalled %.0f lines/s (journal %llu dropped, syslog %llu not sent)\n",
            round + 1, off.back(), on.back(), static_cast<unsigned long long>(last.journalWritten),
            static_cast<unsigned long long>(last.journalDropped),
            static_cast<unsigned long long>(last.syslogSent),
            static_cast<unsigned long long>(last.syslogDropped), stalled.back(),
            static_cast<unsigned long long>(stall.journalDropped),
            static_cast<unsigned long long>(stall.syslogDropped));
    }
    std::sort(off.begin(), off.end());
    std::sort(on.begin(), on.end());
    std::sort(stalled.begin(), stalled.end());
    double medianOff = off[off.size() / 2], medianOn = on[on.size() / 2];
    double medianStalled = stalled[stalled.size() / 2];
    std::printf(
        "median: off %.0f lines/s, on %.0f lines/s, stalled %.0f lines/s; on/off %.3f, stalled/off %.3f\n",
        medianOff, medianOn, medianStalled, medianOn / medianOff, medianStalled / medianOff);
    std::filesystem::remove_all(dir);
    return 0;
}
