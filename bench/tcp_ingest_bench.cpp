// TCP ingest end to end: lines per second from 1, 8 and 63 zamri-send clients through the
// channel table's server to the overlay library substitute recording to a file (every line
// counted at the end: zero loss), the same from 63 clients while 50 hostile connections sit
// silent in the opening exchange and keep coming back (and the ratio of the two), the same
// bytes through a bare loopback receive loop as the ceiling, and the latency from frame sent
// to OV_write at a moderate rate, alone and with 50 silent connections in the exchange.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delivery/overlay_output.h"
#include "net/socket_seam.h"
#include "platform/overlay_record.h"
#include "program/program.h"
#include "send_client.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"

using namespace zamri;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kLinesPerRun = 120000;
constexpr int kTextLength = 40;  // a typical receipt line, LF included

std::string MakeTempDir() {
    char pattern[] = "/tmp/zamri-bench-XXXXXX";
    char* made = mkdtemp(pattern);
    return made != nullptr ? made : "/tmp";
}

// Cameras 11 to 32, so every overlay record has a two-digit channel and the same length.
int CameraOf(int client) {
    return 11 + client % 22;
}

std::string LineText(int client, int line) {
    char text[64];
    std::snprintf(text, sizeof text, "ITEM %02d %08d ................ 12.50\n", client % 100, line);
    return std::string(text, kTextLength);
}

// Every frame one client sends in a run, back to back.
std::string ClientStream(int client, int lines) {
    std::string stream;
    unsigned char frame[64];
    for (int i = 0; i < lines; ++i) {
        std::string text = LineText(client, i);
        int size = EncodeTextLineFrame(CameraOf(client), text.data(), kTextLength, frame, sizeof frame);
        stream.append(reinterpret_cast<char*>(frame), static_cast<size_t>(size));
    }
    return stream;
}

long FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

long CountWrites(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return -1;
    char line[512];
    long count = 0;
    while (std::fgets(line, sizeof line, file) != nullptr)
        count += std::strncmp(line, "OV_write\t", 9) == 0;
    std::fclose(file);
    return count;
}

// Sends every stream at once, one thread per client; returns when all were handed to TCP.
bool SendAll(std::vector<std::unique_ptr<SendClient>>& clients, const std::vector<std::string>& streams) {
    std::atomic<int> failures{0};
    std::vector<std::thread> senders;
    for (size_t i = 0; i < clients.size(); ++i) {
        senders.emplace_back([&, i] {
            if (!clients[i]->SendBytes(streams[i].data(), static_cast<int>(streams[i].size())))
                ++failures;
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    return failures.load() == 0;
}

bool OpenClients(std::vector<std::unique_ptr<SendClient>>& clients, int count, int port) {
    for (int i = 0; i < count; ++i) {
        clients.emplace_back(new SendClient);
        if (!clients.back()->Connect("127.0.0.1", port) || clients.back()->OpeningExchange() != 1)
            return false;
    }
    return true;
}

// Connections that open, say nothing and wait until the server closes them (at the exchange
// limit, or at once while every client slot is taken), then come back.
class HostileCrowd {
  public:
    HostileCrowd(int count, int port) {
        for (int i = 0; i < count; ++i) {
            threads.emplace_back([this, port] {
                while (!stop.load()) {
                    SendClient client;
                    if (client.Connect("127.0.0.1", port) != 1)
                        break;
                    ++opened;
                    auto start = Clock::now();
                    client.WaitForClose(10000);
                    // Turned away at once: knock again a little later.
                    if (Clock::now() - start < std::chrono::milliseconds(50))
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            });
        }
    }
    ~HostileCrowd() {
        stop = true;
        for (std::thread& thread : threads)
            thread.join();
    }
    std::atomic<long> opened{0};

  private:
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
};

// Lines per second of the calm run, for the ratio of the hostile one.
double calmLinesPerSecond = 0;

void BM_TcpIngestToOverlay(benchmark::State& state) {
    const int clientCount = static_cast<int>(state.range(0));
    const int hostileCount = static_cast<int>(state.range(1));
    long hostileOpened = 0;
    double measured = 0;
    const int linesPerClient = kLinesPerRun / clientCount;
    const long totalLines = static_cast<long>(linesPerClient) * clientCount;
    std::vector<std::string> streams;
    for (int i = 0; i < clientCount; ++i)
        streams.push_back(ClientStream(i, linesPerClient));
    std::string dir = MakeTempDir();
    int run = 0;
    for (auto _ : state) {
        std::string log = dir + "/overlay-" + std::to_string(run++) + ".log";
        setenv("OVTEXT_LOG", log.c_str(), 1);
        long expectedSize = 0;
        {
            std::unique_ptr<zamri::Program> program(new zamri::Program);
            ChannelTable* table = &program->Table();
            table->SetMode(1);
            table->SetTcpPort(0);
            table->StartCapture();
            int port = program->Capture().TcpServer()->ListeningPort();
            std::unique_ptr<HostileCrowd> crowd;
            if (hostileCount > 0) {
                crowd.reset(new HostileCrowd(hostileCount, port));
                while (program->Capture().TcpServer()->OpeningCount() < hostileCount)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::vector<std::unique_ptr<SendClient>> clients;
            if (port <= 0 || !OpenClients(clients, clientCount, port)) {
                state.SkipWithError("cannot connect");
                break;
            }
            // Every record has the same length (two-digit channels, fixed texts).
            std::string text = LineText(0, 0);
            text.pop_back();
            long recordSize = static_cast<long>(
                FormatWriteRecord(program->Overlay().Handle(), 10, 0, text.c_str()).size() + 1);
            expectedSize = FileSize(log) + recordSize * totalLines;

            Clock::time_point start = Clock::now();
            if (!SendAll(clients, streams)) {
                state.SkipWithError("send failed");
                break;
            }
            while (FileSize(log) < expectedSize)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            state.SetIterationTime(seconds);
            measured += seconds;
            if (crowd != nullptr)
                hostileOpened += crowd->opened.load();
        }
        long written = CountWrites(log);
        if (written != totalLines) {
            state.SkipWithError(("lines lost: " + std::to_string(totalLines - written)).c_str());
            break;
        }
        std::remove(log.c_str());
    }
    rmdir(dir.c_str());
    state.SetItemsProcessed(state.iterations() * totalLines);
    state.counters["clients"] = clientCount;
    if (measured > 0) {
        double rate = static_cast<double>(state.iterations() * totalLines) / measured;
        if (hostileCount == 0 && clientCount == 63)
            calmLinesPerSecond = rate;
        if (hostileCount > 0) {
            state.counters["hostile"] = hostileCount;
            state.counters["hostile_opened"] = static_cast<double>(hostileOpened);
            if (calmLinesPerSecond > 0)
                state.counters["ratio_to_calm"] = rate / calmLinesPerSecond;
        }
    }
}

int CountLine(void* owner, int code, intptr_t arg, char* text) {
    if (code == EVT_LINE_RECEIVED)
        static_cast<std::atomic<long>*>(owner)->fetch_add(1);
    return 0;
}

// The server alone (network thread, queue, worker) up to the owner's callback, which only
// counts: what the TCP path costs without the line assembly, filter and overlay library.
void BM_TcpIngestServerOnly(benchmark::State& state) {
    const int clientCount = static_cast<int>(state.range(0));
    const int linesPerClient = kLinesPerRun / clientCount;
    const long totalLines = static_cast<long>(linesPerClient) * clientCount;
    std::vector<std::string> streams;
    for (int i = 0; i < clientCount; ++i)
        streams.push_back(ClientStream(i, linesPerClient));
    for (auto _ : state) {
        std::atomic<long> delivered{0};
        TcpIngestServer server;
        server.Init(&delivered, CountLine);
        std::vector<std::unique_ptr<SendClient>> clients;
        if (server.Start(0) != 0 || !OpenClients(clients, clientCount, server.ListeningPort())) {
            state.SkipWithError("cannot connect");
            break;
        }
        Clock::time_point start = Clock::now();
        SendAll(clients, streams);
        while (delivered.load() < totalLines)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        server.Stop();
        if (delivered.load() != totalLines)
            state.SkipWithError("lines lost");
    }
    state.SetItemsProcessed(state.iterations() * totalLines);
    state.counters["clients"] = clientCount;
}

// The ceiling: the same bytes from the same clients into one thread that only receives.
void BM_BareLoopbackReceive(benchmark::State& state) {
    const int clientCount = static_cast<int>(state.range(0));
    const int linesPerClient = kLinesPerRun / clientCount;
    const long totalLines = static_cast<long>(linesPerClient) * clientCount;
    std::vector<std::string> streams;
    long totalBytes = 0;
    for (int i = 0; i < clientCount; ++i) {
        streams.push_back(ClientStream(i, linesPerClient));
        totalBytes += static_cast<long>(streams.back().size());
    }
    for (auto _ : state) {
        SocketHandle listener = SocketOpenStream();
        if (listener == kInvalidSocket || !SocketBindAny(listener, 0) || !SocketListen(listener, 128)) {
            state.SkipWithError("cannot listen");
            break;
        }
        int port = SocketLocalPort(listener);
        std::vector<std::unique_ptr<SendClient>> clients;
        std::vector<SocketHandle> accepted;
        for (int i = 0; i < clientCount; ++i) {
            clients.emplace_back(new SendClient);
            clients.back()->Connect("127.0.0.1", port);
            char peer[kAddressTextSize];
            SocketHandle socket;
            while ((socket = SocketAccept(listener, peer, sizeof peer)) == kInvalidSocket)
                std::this_thread::yield();
            accepted.push_back(socket);
        }
        std::atomic<long> received{0};
        std::thread receiver([&] {
            SocketWaitSet waits;
            for (int i = 0; i < clientCount; ++i)
                waits.Attach(i, accepted[i], kWatchRead);
            std::vector<char> buffer(kFrameBufferSize);
            long total = 0;
            while (total < totalBytes) {
                if (waits.Wait(clientCount, -1) <= 0)
                    continue;
                for (int i = 0; i < clientCount; ++i) {
                    NetworkEvents events;
                    if (!waits.Take(i, accepted[i], &events) || !events.read)
                        continue;
                    int got = SocketReceive(accepted[i], buffer.data(), kFrameBufferSize);
                    if (got > 0)
                        total += got;
                }
            }
            received = total;
        });
        Clock::time_point start = Clock::now();
        SendAll(clients, streams);
        receiver.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        for (SocketHandle socket : accepted)
            SocketClose(socket);
        SocketClose(listener);
        if (received.load() != totalBytes)
            state.SkipWithError("bytes lost");
    }
    state.SetItemsProcessed(state.iterations() * totalLines);
    state.counters["clients"] = clientCount;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

// Frame sent to OV_write at a moderate rate, alone or while silent connections sit in the opening
// exchange: the overlay record goes into a pipe, and a reader stamps each record as it arrives
// (the substitute flushes every record at once).
void BM_TcpIngestLatency(benchmark::State& state) {
    const int rate = static_cast<int>(state.range(0));
    const int hostileCount = static_cast<int>(state.range(1));
    const int lines = rate * 2;  // two seconds per run
    std::string dir = MakeTempDir();
    std::string fifo = dir + "/overlay.pipe";
    std::vector<double> latencies;
    for (auto _ : state) {
        unlink(fifo.c_str());
        if (mkfifo(fifo.c_str(), 0600) != 0) {
            state.SkipWithError("mkfifo failed");
            break;
        }
        setenv("OVTEXT_LOG", fifo.c_str(), 1);
        std::vector<Clock::time_point> sent(static_cast<size_t>(lines));
        std::vector<Clock::time_point> written(static_cast<size_t>(lines));
        std::atomic<int> seen{0};
        bool failed = false;
        std::thread reader([&] {
            FILE* in = std::fopen(fifo.c_str(), "rb");  // waits for the library's open
            if (in == nullptr)
                return;
            char line[512];
            while (seen.load() < lines && std::fgets(line, sizeof line, in) != nullptr) {
                Clock::time_point now = Clock::now();
                int client = 0;
                int number = -1;
                const char* text = std::strstr(line, "ITEM ");
                if (text != nullptr && std::sscanf(text, "ITEM %d %d", &client, &number) == 2 &&
                    number >= 0 && number < lines) {
                    written[static_cast<size_t>(number)] = now;
                    ++seen;
                }
            }
            // Keep reading until the library lets go of the pipe, so no write ever blocks.
            while (std::fgets(line, sizeof line, in) != nullptr) {
            }
            std::fclose(in);
        });
        {
            std::unique_ptr<zamri::Program> program(new zamri::Program);
            ChannelTable* table = &program->Table();
            table->SetMode(1);
            table->SetTcpPort(0);
            table->StartCapture();
            SendClient client;
            if (!client.Connect("127.0.0.1", program->Capture().TcpServer()->ListeningPort()) ||
                client.OpeningExchange() != 1) {
                state.SkipWithError("cannot connect");
                failed = true;
            }
            std::unique_ptr<HostileCrowd> crowd;
            if (!failed && hostileCount > 0) {
                crowd.reset(new HostileCrowd(hostileCount, program->Capture().TcpServer()->ListeningPort()));
                while (program->Capture().TcpServer()->OpeningCount() < hostileCount)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            Clock::time_point start = Clock::now();
            for (int i = 0; i < lines && !failed; ++i) {
                std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / rate));
                std::string text = LineText(0, i);
                sent[static_cast<size_t>(i)] = Clock::now();
                client.SendTextLine(CameraOf(0), text.data(), kTextLength);
            }
            while (!failed && seen.load() < lines)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        }
        // The next library open (another file) closes the pipe's writing end; until then the
        // reader waits. Point the library elsewhere now: an overlay output opens it.
        std::string spare = dir + "/after.log";
        setenv("OVTEXT_LOG", spare.c_str(), 1);
        { OverlayOutput closer; }
        reader.join();
        if (failed)
            break;
        std::remove(spare.c_str());
        for (int i = 0; i < lines; ++i) {
            latencies.push_back(std::chrono::duration<double, std::micro>(written[i] - sent[i]).count());
        }
    }
    unlink(fifo.c_str());
    rmdir(dir.c_str());
    state.counters["p50_us"] = Percentile(latencies, 0.50);
    state.counters["p99_us"] = Percentile(latencies, 0.99);
    state.counters["max_us"] = Percentile(latencies, 1.0);
    state.counters["lines_per_s"] = rate;
    state.counters["hostile"] = hostileCount;
}

}  // namespace

BENCHMARK(BM_TcpIngestToOverlay)
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({63, 0})
    ->Args({63, 50})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_TcpIngestServerOnly)
    ->Arg(1)
    ->Arg(8)
    ->Arg(63)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_BareLoopbackReceive)
    ->Arg(1)
    ->Arg(8)
    ->Arg(63)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(BM_TcpIngestLatency)
    ->Args({1000, 0})
    ->Args({1000, 50})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

int main(int argc, char** argv) {
    // The overlay record of the latency run goes into a pipe; a write after its reader left must
    // fail quietly rather than end the process.
    signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
