// zamri-soak: a fault soak of the network fronts. The program's own channel table and TCP server
// run in this process, with the overlay library recording to a temporary file, and beside them
// a listen:// channel. For a set time, well-behaved senders (the real sender code, and one raw
// till on the listen:// channel) send numbered lines at a steady rate while hostile patterns
// work on the same servers: connections silent in the opening exchange, wrong replies, resets in
// the middle of a frame, frames larger than any can be, frames byte by byte, clients that hold
// a slot for a while, knocks past the 64th, clients that pass the exchange and then hold their
// slot in silence, and listen:// peers that connect, send a megabyte and close, again and again.
// The web page runs beside them, abused by hostile browsers while a well-behaved one must be
// served throughout (web_abuse.h, with its own checks). At the end every line of every
// well-behaved sender must have arrived exactly once and in order, and the process's
// descriptors (handles), threads and memory must be back where they were before the first
// connection.
//
//   zamri-soak [--seconds N] [--senders N] [--rate LINES_PER_SECOND_PER_SENDER] [--idle SECONDS]
//
// --idle is the servers' slot idle limit (SlotIdleSeconds; 3 here, so that silent holders give
// way within a short run). Prints the figures; exit code 0 when every check held, 1 otherwise.
//
// A hostile pattern is one function that plays one connection's worth of it, and one line in
// kPatterns (name, threads); its figures are printed with the others.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_seam.h"
#include "netsource/network_capture.h"
#include "platform/os.h"
#include "process_probe.h"
#include "program/program.h"
#include "send_client.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"
#include "web_abuse.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> capacityNotices{0};

int CountMessage(const char* text, const char* caption, unsigned style) {
    if (std::strcmp(text, "Maximum Client( 64 )") == 0)
        ++capacityNotices;
    return 1;
}

// The servers under test.
struct Targets {
    int tcpPort = 0;     // TCP mode's framed server
    int listenPort = 0;  // the listen:// channel
};

// What one hostile pattern did.
struct PatternCounts {
    std::atomic<long> connections{0};
    std::atomic<long> refused{0};  // not let in: refused, closed in the exchange, or turned away
    std::atomic<long> closed{0};   // let in, then closed by the server to make room
};

using PatternRound = void (*)(const Targets&, const std::atomic<bool>& stop, PatternCounts&, unsigned round);

struct HostilePattern {
    const char* name;
    int threads;
    PatternRound round;
};

bool Pause(const std::atomic<bool>& stop, int milliseconds) {
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stop.load() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !stop.load();
}

// Connects and runs the exchange; 1 admitted, 0 refused, -1 closed or not answered (a full
// table closes a newcomer at once).
int Admitted(SendClient& client, int port, PatternCounts& counts) {
    ++counts.connections;
    if (client.Connect("127.0.0.1", port) != 1) {
        ++counts.refused;
        return -1;
    }
    int verdict = client.OpeningExchange(10000);
    if (verdict != 1)
        ++counts.refused;
    return verdict;
}

std::string TextFrame(int camera, const std::string& text) {
    std::string frame(8 + text.size(), '\0');
    zamri::EncodeTextLineFrame(camera, text.data(), static_cast<int>(text.size()),
                               reinterpret_cast<unsigned char*>(&frame[0]), static_cast<int>(frame.size()));
    return frame;
}

// Connects and says nothing until the server gives up on it.
void SilentInExchange(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    ++counts.connections;
    if (client.Connect("127.0.0.1", to.tcpPort) == 1 && client.WaitForClose(15000) == 1)
        ++counts.refused;
}

void WrongReply(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned round) {
    SendClient client;
    ++counts.connections;
    int32_t wrong = static_cast<int32_t>(round * 2654435761u);
    if (client.Connect("127.0.0.1", to.tcpPort) == 1 && client.OpeningExchange(10000, &wrong) != 1)
        ++counts.refused;
    Pause(stop, 20);
}

// Half a frame, then a reset.
void ResetMidFrame(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    if (Admitted(client, to.tcpPort, counts) == 1) {
        std::string frame = TextFrame(31, "CUT OFF IN THE MIDDLE\n");
        client.SendBytes(frame.data(), static_cast<int>(frame.size() / 2));
        Pause(stop, 30);
        client.Close(true);
    }
    Pause(stop, 20);
}

// A header announcing more than a frame can hold.
void OversizeHeader(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    if (Admitted(client, to.tcpPort, counts) == 1) {
        unsigned char header[8];
        zamri::PutUInt16(header, 0xFFFF);
        zamri::PutUInt16(header + 2, FRAME_TEXT_LINE);
        zamri::PutInt32(header + 4, 31);
        client.SendBytes(header, sizeof header);
        client.WaitForClose(10000);
    }
    Pause(stop, 20);
}

// Whole frames, one byte per send.
void ByteByByte(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    if (Admitted(client, to.tcpPort, counts) == 1) {
        for (int line = 0; line < 3 && !stop.load(); ++line) {
            std::string frame = TextFrame(32, "BYTE BY BYTE " + std::to_string(line) + "\n");
            for (char byte : frame)
                client.SendBytes(&byte, 1);
        }
        client.Close();
    }
    Pause(stop, 20);
}

// Holds a client slot for a while (shorter than the idle limit), sending nothing.
void BriefSlotHolder(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts,
                     unsigned round) {
    SendClient client;
    if (Admitted(client, to.tcpPort, counts) == 1)
        Pause(stop, 500 + static_cast<int>(round % 5) * 200);
    Pause(stop, 10);
}

// Knocks again and again, mostly while every slot is taken.
void PastTheLastSlot(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    Admitted(client, to.tcpPort, counts);
    Pause(stop, 15);
}

// Passes the exchange, then holds the slot in silence for as long as the server lets it.
void SilentSlotHolder(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned) {
    SendClient client;
    if (Admitted(client, to.tcpPort, counts) == 1) {
        while (!stop.load()) {
            if (client.WaitForClose(100) == 1) {
                ++counts.closed;
                break;
            }
        }
    }
    Pause(stop, 10);
}

// A megabyte of short lines; made before the soak measures its memory.
const std::string& ChurnJob() {
    static const std::string job = [] {
        std::string lines;
        for (int i = 0; lines.size() < (1u << 20); ++i)
            lines += "CHURN " + std::to_string(i) + "\n";
        return lines;
    }();
    return job;
}

// Connects to the listen:// channel, sends a megabyte of short lines and closes.
void ListenChurn(const Targets& to, const std::atomic<bool>& stop, PatternCounts& counts, unsigned round) {
    const std::string& job = ChurnJob();
    ++counts.connections;
    zamri::SocketHandle socket = zamri::SocketConnect("127.0.0.1", to.listenPort);
    if (socket == zamri::kInvalidSocket) {
        ++counts.refused;
        Pause(stop, 20);
        return;
    }
    // In pieces, so that a stop is not held by a channel that makes this sender wait.
    for (size_t sent = 0; sent < job.size() && !stop.load();) {
        int n = zamri::SocketSend(socket, job.data() + sent,
                                  static_cast<int>(std::min<size_t>(64 * 1024, job.size() - sent)));
        if (n <= 0) {
            ++counts.refused;  // turned away: every connection was in use
            break;
        }
        sent += static_cast<size_t>(n);
    }
    zamri::SocketClose(socket);
}

// Threads for each pattern: 20 silent in the exchange, 2 wrong replies, 3 resets, 2 oversize
// headers, 3 byte by byte, 5 brief holders, 2 that knock past the last slot, 10 silent holders
// and 3 listen:// churners.
const HostilePattern kPatterns[] = {
    {"silent in the exchange", 20, SilentInExchange},
    {"wrong reply", 2, WrongReply},
    {"reset mid-frame", 3, ResetMidFrame},
    {"oversize header", 2, OversizeHeader},
    {"byte by byte", 3, ByteByByte},
    {"brief slot holders", 5, BriefSlotHolder},
    {"past the last slot", 2, PastTheLastSlot},
    {"silent slot holders", 10, SilentSlotHolder},
    {"listen:// churn", 3, ListenChurn},
};
constexpr size_t kPatternCount = sizeof kPatterns / sizeof kPatterns[0];

void RunPattern(const HostilePattern& pattern, const Targets& targets, const std::atomic<bool>& stop,
                PatternCounts& counts) {
    for (unsigned round = 1; !stop.load(); ++round)
        pattern.round(targets, stop, counts, round);
}

// What the listen:// channel delivered: the till's numbered lines "L<n>", checked in order,
// and the churners' lines, counted.
class ListenLines : public LineOutput {
  public:
    void Deliver(const char* text, int) override {
        long n = -1;
        std::lock_guard<std::mutex> guard(lock);
        if (std::sscanf(text, "L%ld", &n) != 1) {
            ++churnLines;
            return;
        }
        if (n < next)
            ++duplicates;
        else if (n > next)
            ++outOfOrder;
        next = n + 1;
        ++tillLines;
    }
    long tillLines = 0, churnLines = 0, duplicates = 0, outOfOrder = 0, next = 0;  // under lock
    std::mutex lock;
};

// A port that was free a moment ago.
int FreePort() {
    zamri::SocketStartup();
    zamri::SocketHandle probe = zamri::SocketOpenStream();
    zamri::SocketBindAddress(probe, "127.0.0.1", 0);
    int port = zamri::SocketLocalPort(probe);
    zamri::SocketClose(probe);
    zamri::SocketCleanup();
    return port;
}

bool SendRaw(zamri::SocketHandle socket, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int n = zamri::SocketSend(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent));
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Every overlay write of the record: the texts in order.
std::vector<std::string> OverlayTexts(const std::string& path) {
    std::vector<std::string> texts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 9, "OV_write\t") != 0)
            continue;
        size_t at = 0;
        for (int field = 0; field < 4 && at != std::string::npos; ++field)
            at = line.find('\t', at + 1);
        if (at != std::string::npos)
            texts.push_back(line.substr(at + 1));
    }
    return texts;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!condition()) {
        if (Clock::now() > end)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: zamri-soak [--seconds N] [--senders N] [--rate LINES_PER_SECOND_PER_SENDER] "
                 "[--idle SECONDS]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int senders = 50;
    int rate = 50;
    int idleSeconds = 3;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return Usage();
        int value = std::atoi(argv[++i]);
        if (arg == "--seconds" && value > 0)
            seconds = value;
        else if (arg == "--senders" && value > 0 && value <= 60)
            senders = value;
        else if (arg == "--rate" && value > 0 && value <= 10000)
            rate = value;
        else if (arg == "--idle" && value > 0 && value <= zamri::kMaxSlotIdleSeconds)
            idleSeconds = value;
        else
            return Usage();
    }
    soak::ProbeStart();
    zamri::SetMessageSink(CountMessage);
    std::string record = "zamri-soak-" + std::to_string(static_cast<long>(std::time(nullptr))) + ".log";
    std::remove(record.c_str());
    soak::SetEnvironment("OVTEXT_LOG", record.c_str());
    // Each replacement of an idle holder is reported once a minute per address; the soak's own
    // figures say how many there were.
    zamri::SetErrorLineSink([](const char*) {});

    int failures = 0;
    {
        zamri::Program program;
        ChannelTable& table = program.Table();
        table.SetMode(1);
        table.SetTcpPort(0);
        table.slotIdleSeconds = idleSeconds;
        table.StartCapture();
        TcpIngestServer* tcpServer = program.Capture().TcpServer();
        if (tcpServer == nullptr || tcpServer->ListeningPort() == 0) {
            std::fprintf(stderr, "zamri-soak: the TCP server did not start\n");
            return 1;
        }
        TcpIngestServer& server = *tcpServer;
        Targets targets;
        targets.tcpPort = server.ListeningPort();
        soak::WebAbuse web(table, program.Delivery());
        if (!web.StartPage())
            return 1;

        ListenLines listenLines;
        DecoderSettings listenSettings;
        listenSettings.emulation = 1;  // Text Only
        NetworkCapture listen(("listen://127.0.0.1:" + std::to_string(FreePort())).c_str(), listenSettings,
                              listenLines);
        listen.SetIdleLimit(idleSeconds * 1000);
        if (!listen.Open()) {
            std::fprintf(stderr, "zamri-soak: the listen:// channel did not open\n");
            return 1;
        }
        std::thread listenLoop([&] { listen.Run(); });
        targets.listenPort = listen.ListeningPort();

        // One connection to each first, so that what the first one costs once is not counted as left.
        {
            SendClient warm;
            warm.Connect("127.0.0.1", targets.tcpPort);
            warm.OpeningExchange();
            warm.SendTextLine(1, "WARM UP\n", 8);
            WaitFor([&] { return OverlayTexts(record).size() == 1; }, 10000);
            zamri::SocketHandle till = zamri::SocketConnect("127.0.0.1", targets.listenPort);
            SendRaw(till, "WARM UP\n");
            zamri::SocketClose(till);
            WaitFor([&] { return listen.OpenConnections() == 0 && listen.Streams() == 0; }, 10000);
        }
        // And the page's live view full once, so that its memory is in place before the figures.
        const long warmLines = 1 + web.FillRing();
        WaitFor([&] { return static_cast<long>(OverlayTexts(record).size()) == warmLines; }, 20000);
        WaitFor([&] { return server.ClientCount() == 0; }, 10000);
        ChurnJob();
        long handlesBefore = soak::OpenHandles();
        long threadsBefore = soak::Threads();
        long long memoryBefore = soak::MemoryInUse();

        std::vector<std::unique_ptr<SendClient>> clients(static_cast<size_t>(senders));
        for (auto& client : clients) {
            client.reset(new SendClient);
            if (client->Connect("127.0.0.1", targets.tcpPort) != 1 || client->OpeningExchange(10000) != 1) {
                std::fprintf(stderr, "zamri-soak: a well-behaved sender could not connect\n");
                return 1;
            }
        }
        zamri::SocketHandle listenTill = zamri::SocketConnect("127.0.0.1", targets.listenPort);
        if (listenTill == zamri::kInvalidSocket ||
            !WaitFor([&] { return listen.OpenConnections() == 1; }, 10000)) {
            std::fprintf(stderr, "zamri-soak: the listen:// till could not connect\n");
            return 1;
        }

        std::atomic<bool> stop{false};
        std::vector<std::unique_ptr<PatternCounts>> counts;
        std::vector<std::thread> hostile;
        for (const HostilePattern& pattern : kPatterns) {
            counts.emplace_back(new PatternCounts);
            for (int t = 0; t < pattern.threads; ++t)
                hostile.emplace_back(RunPattern, std::cref(pattern), std::cref(targets), std::cref(stop),
                                     std::ref(*counts.back()));
        }
        web.StartBrowsers();

        std::vector<long> sent(static_cast<size_t>(senders), 0);
        long listenSent = 0;
        std::atomic<int> sendFailures{0};
        std::vector<std::thread> steady;
        auto start = Clock::now();
        auto end = start + std::chrono::seconds(seconds);
        const auto step = std::chrono::microseconds(1000000 / rate);
        for (int s = 0; s < senders; ++s) {
            steady.emplace_back([&, s] {
                auto next = Clock::now();
                while (Clock::now() < end) {
                    std::string text = "S" + std::to_string(s) + " N" + std::to_string(sent[s]) + "\n";
                    if (clients[s]->SendTextLine(s % 32 + 1, text.data(), static_cast<int>(text.size())) !=
                        1) {
                        ++sendFailures;
                        return;
                    }
                    ++sent[s];
                    next += step;
                    std::this_thread::sleep_until(next);
                }
            });
        }
        steady.emplace_back([&] {
            auto next = Clock::now();
            while (Clock::now() < end) {
                if (!SendRaw(listenTill, "L" + std::to_string(listenSent) + " TILL ON LISTEN\n")) {
                    ++sendFailures;
                    return;
                }
                ++listenSent;
                next += step;
                std::this_thread::sleep_until(next);
            }
        });
        for (std::thread& thread : steady)
            thread.join();
        stop = true;
        for (std::thread& thread : hostile)
            thread.join();
        double ran = std::chrono::duration<double>(Clock::now() - start).count();

        long total = 0;
        for (long n : sent)
            total += n;
        // The warm-up lines, the senders' lines and any byte-by-byte lines.
        WaitFor([&] { return static_cast<long>(OverlayTexts(record).size()) >= total + warmLines; }, 20000);
        clients.clear();
        zamri::SocketClose(listenTill);
        WaitFor([&] { return server.ClientCount() == 0 && server.OpeningCount() == 0; }, 20000);
        WaitFor([&] { return listen.OpenConnections() == 0 && listen.Streams() == 0; }, 60000);
        web.StopBrowsers();
        // The process's own figures, once everything is delivered and before the record is read.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        long handlesAfter = soak::OpenHandles();
        long threadsAfter = soak::Threads();
        long long memoryAfter = soak::MemoryInUse();
        std::vector<std::string> texts = OverlayTexts(record);

        std::vector<long> next(static_cast<size_t>(senders), 0);
        long delivered = 0, duplicates = 0, outOfOrder = 0, byteLines = 0;
        for (const std::string& text : texts) {
            int s = -1;
            long n = -1;
            if (std::sscanf(text.c_str(), "S%d N%ld", &s, &n) == 2 && s >= 0 && s < senders) {
                ++delivered;
                if (n < next[s])
                    ++duplicates;
                else if (n > next[s])
                    ++outOfOrder;
                next[s] = n + 1;
            } else if (text.compare(0, 12, "BYTE BY BYTE") == 0) {
                ++byteLines;
            }
        }
        long lost = 0;
        for (int s = 0; s < senders; ++s)
            lost += sent[s] - next[s];
        long listenDelivered, listenLost, churnLines;
        {
            std::lock_guard<std::mutex> guard(listenLines.lock);
            listenDelivered = listenLines.tillLines;
            listenLost = listenSent - listenLines.next;
            duplicates += listenLines.duplicates;
            outOfOrder += listenLines.outOfOrder;
            churnLines = listenLines.churnLines - 1;  // without the warm-up line
        }

        std::printf(
            "zamri-soak: %.1f s, %d well-behaved TCP senders and one listen:// till at %d lines/s each, "
            "slot idle limit %d s\n",
            ran, senders, rate, idleSeconds);
        std::printf(
            "  TCP lines sent %ld, delivered %ld, lost %ld; listen:// till lines sent %ld, delivered %ld, "
            "lost %ld;\n"
            "    duplicated %ld, out of order %ld, send failures %d\n",
            total, delivered, lost, listenSent, listenDelivered, listenLost, duplicates, outOfOrder,
            sendFailures.load());
        long hostileTotal = 0;
        for (size_t p = 0; p < kPatternCount; ++p)
            hostileTotal += counts[p]->connections;
        std::printf("  hostile connections %ld:\n", hostileTotal);
        for (size_t p = 0; p < kPatternCount; ++p) {
            std::printf("    %-24s %7ld, not let in %ld, closed to make room %ld\n", kPatterns[p].name,
                        counts[p]->connections.load(), counts[p]->refused.load(), counts[p]->closed.load());
        }
        std::printf(
            "  TCP: %ld byte-by-byte lines delivered, clients replaced %llu, \"Maximum Client( 64 )\" "
            "notices %ld\n",
            byteLines, static_cast<unsigned long long>(server.ClientsReplaced()), capacityNotices.load());
        std::printf(
            "  listen://: %ld churn lines delivered, turned away %llu, replaced %llu, most bytes waiting "
            "%zu, "
            "most streams %d\n",
            churnLines, static_cast<unsigned long long>(listen.TurnedAway()),
            static_cast<unsigned long long>(listen.ConnectionsReplaced()), listen.PeakBacklog(),
            listen.PeakStreams());
        web.Print();
        failures += web.Failures();
        std::printf("  open handles: %ld at start, %ld at end\n", handlesBefore, handlesAfter);
        std::printf("  threads: %ld at start, %ld at end\n", threadsBefore, threadsAfter);
        std::printf("  memory in use: %lld bytes at start, %lld at end\n", memoryBefore, memoryAfter);

        const long long kMemorySlack = 256 * 1024;  // what allocators keep for reuse
        if (lost != 0 || listenLost != 0 || duplicates != 0 || outOfOrder != 0 || sendFailures.load() != 0 ||
            delivered != total || listenDelivered != listenSent) {
            std::printf("FAILED: lines were lost, doubled or reordered\n");
            ++failures;
        }
        if (listen.PeakBacklog() >= ChannelBacklog::kPauseBytes + 64 * 1024 ||
            listen.PeakStreams() > NetworkCapture::kMaxStreams) {
            std::printf("FAILED: the listen:// channel held more than its bounds\n");
            ++failures;
        }
        if (handlesAfter != handlesBefore) {
            std::printf("FAILED: open handles differ\n");
            ++failures;
        }
        if (threadsAfter != threadsBefore) {
            std::printf("FAILED: thread counts differ\n");
            ++failures;
        }
        if (memoryAfter - memoryBefore > kMemorySlack) {
            std::printf("FAILED: memory grew by %lld bytes\n", memoryAfter - memoryBefore);
            ++failures;
        }
        web.StopPage();
        listen.RequestStop();
        listenLoop.join();
        table.StopCapture();
    }
    std::remove(record.c_str());
    if (failures == 0)
        std::printf("zamri-soak: every check held\n");
    return failures == 0 ? 0 : 1;
}
