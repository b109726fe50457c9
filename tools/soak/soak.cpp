// zamri-soak: a fault soak of TCP mode. The program's own channel table and TCP server run in
// this process, with the overlay library recording to a temporary file. For a set time, well
// behaved senders (the real sender code) send numbered lines at a steady rate while a hostile
// set on the same server opens silent connections, answers wrongly, resets in the middle of a
// frame, announces frames larger than any can be, sends frames byte by byte, holds the free
// client slots and connects past the 64th. At the end every line of every well-behaved sender
// must have reached the overlay exactly once and in order, and the process's descriptors
// (handles) and memory must be back where they were before the first connection.
//
//   zamri-soak [--seconds N] [--senders N] [--rate LINES_PER_SECOND_PER_SENDER]
//
// Prints the figures; exit code 0 when every check held, 1 otherwise.
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

#include "config/channel_table.h"
#include "platform/os.h"
#include "process_probe.h"
#include "send_client.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<long> capacityNotices{0};

int CountMessage(const char* text, const char* caption, unsigned style) {
    if (std::strcmp(text, "Maximum Client( 64 )") == 0)
        ++capacityNotices;
    return 1;
}

// What the hostile set did, by kind.
struct HostileCounts {
    std::atomic<long> silent{0}, wrongReply{0}, resetMidFrame{0}, oversizeHeader{0}, byteByByte{0},
        slotHolders{0}, pastTheLastSlot{0}, refused{0};
    long Total() const {
        return silent + wrongReply + resetMidFrame + oversizeHeader + byteByByte + slotHolders +
               pastTheLastSlot;
    }
};

bool Pause(const std::atomic<bool>& stop, int milliseconds) {
    auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stop.load() && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return !stop.load();
}

// Connects and runs the exchange; 1 admitted, 0 refused, -1 closed or not answered (a full
// table closes a newcomer at once).
int Admitted(SendClient& client, int port, HostileCounts& counts) {
    if (client.Connect("127.0.0.1", port) != 1)
        return -1;
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

void Hostile(int kind, int port, const std::atomic<bool>& stop, HostileCounts& counts) {
    unsigned round = 0;
    while (!stop.load()) {
        SendClient client;
        ++round;
        switch (kind) {
            case 0:  // silent: connects and says nothing until the server gives up on it
                ++counts.silent;
                if (client.Connect("127.0.0.1", port) == 1)
                    client.WaitForClose(15000);
                break;
            case 1: {  // a wrong reply
                ++counts.wrongReply;
                int32_t wrong = static_cast<int32_t>(round * 2654435761u);
                if (client.Connect("127.0.0.1", port) == 1)
                    client.OpeningExchange(10000, &wrong);
                Pause(stop, 20);
                break;
            }
            case 2:  // half a frame, then a reset
                ++counts.resetMidFrame;
                if (Admitted(client, port, counts) == 1) {
                    std::string frame = TextFrame(31, "CUT OFF IN THE MIDDLE\n");
                    client.SendBytes(frame.data(), static_cast<int>(frame.size() / 2));
                    Pause(stop, 30);
                    client.Close(true);
                }
                Pause(stop, 20);
                break;
            case 3: {  // a header announcing more than a frame can hold
                ++counts.oversizeHeader;
                if (Admitted(client, port, counts) == 1) {
                    unsigned char header[8];
                    zamri::PutUInt16(header, 0xFFFF);
                    zamri::PutUInt16(header + 2, FRAME_TEXT_LINE);
                    zamri::PutInt32(header + 4, 31);
                    client.SendBytes(header, sizeof header);
                    client.WaitForClose(10000);
                }
                Pause(stop, 20);
                break;
            }
            case 4:  // whole frames, one byte per send
                ++counts.byteByByte;
                if (Admitted(client, port, counts) == 1) {
                    for (int line = 0; line < 3 && !stop.load(); ++line) {
                        std::string frame = TextFrame(32, "BYTE BY BYTE " + std::to_string(line) + "\n");
                        for (char byte : frame)
                            client.SendBytes(&byte, 1);
                    }
                    client.Close();
                }
                Pause(stop, 20);
                break;
            case 5:  // holds a client slot for a while, sending nothing
                ++counts.slotHolders;
                if (Admitted(client, port, counts) == 1)
                    Pause(stop, 500 + static_cast<int>(round % 5) * 200);
                Pause(stop, 10);
                break;
            default:  // knocks again and again, mostly while every slot is taken
                ++counts.pastTheLastSlot;
                Admitted(client, port, counts);
                Pause(stop, 15);
                break;
        }
    }
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
                 "usage: zamri-soak [--seconds N] [--senders N] [--rate LINES_PER_SECOND_PER_SENDER]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    int senders = 50;
    int rate = 50;
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
        else
            return Usage();
    }
    soak::ProbeStart();
    zamri::SetMessageSink(CountMessage);
    std::string record = "zamri-soak-" + std::to_string(static_cast<long>(std::time(nullptr))) + ".log";
    std::remove(record.c_str());
    soak::SetEnvironment("OVTEXT_LOG", record.c_str());

    int failures = 0;
    {
        ChannelTable table;
        table.SetMode(1);
        table.SetTcpPort(0);
        table.StartCapture();
        if (table.tcpServer == nullptr || table.tcpServer->ListeningPort() == 0) {
            std::fprintf(stderr, "zamri-soak: the TCP server did not start\n");
            return 1;
        }
        TcpIngestServer& server = *table.tcpServer;
        int port = server.ListeningPort();

        // One connection first, so that what the first one costs once is not counted as left.
        {
            SendClient warm;
            warm.Connect("127.0.0.1", port);
            warm.OpeningExchange();
            warm.SendTextLine(1, "WARM UP\n", 8);
            WaitFor([&] { return OverlayTexts(record).size() == 1; }, 10000);
        }
        WaitFor([&] { return server.ClientCount() == 0; }, 10000);
        long handlesBefore = soak::OpenHandles();
        long long memoryBefore = soak::MemoryInUse();

        std::vector<std::unique_ptr<SendClient>> clients(static_cast<size_t>(senders));
        for (auto& client : clients) {
            client.reset(new SendClient);
            if (client->Connect("127.0.0.1", port) != 1 || client->OpeningExchange(10000) != 1) {
                std::fprintf(stderr, "zamri-soak: a well-behaved sender could not connect\n");
                return 1;
            }
        }

        std::atomic<bool> stop{false};
        HostileCounts counts;
        std::vector<std::thread> hostile;
        // 20 silent, 2 wrong replies, 3 resets, 2 oversize headers, 3 byte by byte, 5 slot
        // holders, 2 that knock past the last slot.
        const int kinds[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                             0, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 5, 6, 6};
        for (int kind : kinds)
            hostile.emplace_back(Hostile, kind, port, std::cref(stop), std::ref(counts));

        std::vector<long> sent(static_cast<size_t>(senders), 0);
        std::atomic<int> sendFailures{0};
        std::vector<std::thread> steady;
        auto start = Clock::now();
        auto end = start + std::chrono::seconds(seconds);
        for (int s = 0; s < senders; ++s) {
            steady.emplace_back([&, s] {
                auto next = Clock::now();
                const auto step = std::chrono::microseconds(1000000 / rate);
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
        for (std::thread& thread : steady)
            thread.join();
        stop = true;
        for (std::thread& thread : hostile)
            thread.join();
        double ran = std::chrono::duration<double>(Clock::now() - start).count();

        long total = 0;
        for (long n : sent)
            total += n;
        // The warm-up line, the senders' lines and any byte-by-byte lines.
        WaitFor([&] { return static_cast<long>(OverlayTexts(record).size()) >= total + 1; }, 20000);
        clients.clear();
        WaitFor([&] { return server.ClientCount() == 0 && server.OpeningCount() == 0; }, 20000);
        // The process's own figures, once the worker has delivered everything and before the
        // record is read in here.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        long handlesAfter = soak::OpenHandles();
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

        std::printf("zamri-soak: %.1f s, %d well-behaved senders at %d lines/s each\n", ran, senders, rate);
        std::printf(
            "  lines sent %ld, delivered %ld, lost %ld, duplicated %ld, out of order %ld, send failures %d\n",
            total, delivered, lost, duplicates, outOfOrder, sendFailures.load());
        std::printf(
            "  hostile connections %ld: silent %ld, wrong reply %ld, reset mid-frame %ld, oversize header "
            "%ld,\n"
            "    byte by byte %ld (%ld lines delivered), slot holders %ld, past the last slot %ld;\n"
            "    refused or closed in the exchange %ld; \"Maximum Client( 64 )\" notices %ld\n",
            counts.Total(), counts.silent.load(), counts.wrongReply.load(), counts.resetMidFrame.load(),
            counts.oversizeHeader.load(), counts.byteByByte.load(), byteLines, counts.slotHolders.load(),
            counts.pastTheLastSlot.load(), counts.refused.load(), capacityNotices.load());
        std::printf("  open handles: %ld at start, %ld at end\n", handlesBefore, handlesAfter);
        std::printf("  memory in use: %lld bytes at start, %lld at end\n", memoryBefore, memoryAfter);

        const long long kMemorySlack = 256 * 1024;  // what allocators keep for reuse
        if (lost != 0 || duplicates != 0 || outOfOrder != 0 || sendFailures.load() != 0 ||
            delivered != total) {
            std::printf("FAILED: lines were lost, doubled or reordered\n");
            ++failures;
        }
        if (handlesAfter != handlesBefore) {
            std::printf("FAILED: open handles differ\n");
            ++failures;
        }
        if (memoryAfter - memoryBefore > kMemorySlack) {
            std::printf("FAILED: memory grew by %lld bytes\n", memoryAfter - memoryBefore);
            ++failures;
        }
        table.StopCapture();
    }
    std::remove(record.c_str());
    if (failures == 0)
        std::printf("zamri-soak: every check held\n");
    return failures == 0 ? 0 : 1;
}
