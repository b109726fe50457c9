// Network source load tool, over real loopback sockets:
// - listen://: decoded megabytes per second of receipts, and the same bytes through a bare
//   loopback receive loop in the same run (the ratio is the figure to compare);
// - printer://: a status request's round trip through the relay and straight to the stand-in
//   printer (median and 99th percentile), and the relay's throughput for a large raster image;
// - the CPU time of 32 idle network channels over a stretch of wall time.
//
//   bench_netsource [--megabytes N] [--round-trips N] [--image-megabytes N] [--seconds N]
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/socket_seam.h"
#include "netsource/network_capture.h"
#include "platform/os.h"
#include "serial/line_decoder.h"

using namespace zamri;

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

class CountedLines : public LineOutput {
  public:
    void Deliver(const char*, int) override { ++count; }
    std::atomic<long long> count{0};
};

SocketHandle Listener(int* port) {
    SocketHandle s = SocketOpenStream();
    SocketBindAddress(s, "127.0.0.1", 0);
    SocketListen(s, 64);
    *port = SocketLocalPort(s);
    return s;
}

int FreePort() {
    int port;
    SocketClose(Listener(&port));
    return port;
}

SocketHandle ConnectWhenUp(int port) {
    for (int i = 0; i < 1000; ++i) {
        SocketHandle s = SocketConnect("127.0.0.1", port);
        if (s != kInvalidSocket)
            return s;
        SleepMilliseconds(5);
    }
    return kInvalidSocket;
}

bool SendAll(SocketHandle s, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = SocketSend(s, bytes.data() + sent,
                           static_cast<int>(std::min<size_t>(bytes.size() - sent, 1 << 20)));
        if (n < 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Receives exactly n bytes on a blocking socket.
bool ReceiveExactly(SocketHandle s, size_t n) {
    std::vector<char> buffer(1 << 16);
    size_t got = 0;
    while (got < n) {
        int r = SocketReceive(s, buffer.data(), static_cast<int>(std::min(buffer.size(), n - got)));
        if (r <= 0)
            return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

struct RunningCapture {
    RunningCapture(const std::string& name, LineOutput& output) : capture(name.c_str(), Settings(), output) {
        if (capture.Open())
            thread = std::thread([this] { capture.Run(); });
    }
    ~RunningCapture() {
        capture.RequestStop();
        if (thread.joinable())
            thread.join();
    }
    static DecoderSettings Settings() {
        DecoderSettings settings;
        settings.emulation = 2;
        return settings;
    }
    NetworkCapture capture;
    std::thread thread;
};

// A receipt in the ESC/POS command set: styles, a barcode, a cut; 8 printed lines.
std::string Receipt() {
    using namespace std::string_literals;  // the commands hold NUL bytes
    std::string r = "\x1b@\x1b\x61\x01\x1b\x45\x01"s + "CORNER SHOP 42\x1b\x45\x00\n\x1b\x61\x00"s;
    for (int i = 0; i < 5; ++i)
        r += "Item number " + std::to_string(i) + "          " + std::to_string(i + 1) + ".99\n";
    r += "TOTAL                    15.00\n\x1dk\x43\x0c"s + "590123412345\nThank you\n\x1dV\x42\x03"s;
    return r;
}

void ListenThroughput(int megabytes) {
    const std::string receipt = Receipt();
    const long long receipts =
        static_cast<long long>(megabytes) * 1000000 / static_cast<long long>(receipt.size());
    std::string data;
    data.reserve(static_cast<size_t>(receipts) * receipt.size());
    for (long long i = 0; i < receipts; ++i)
        data += receipt;
    // The lines the channel must deliver: the same bytes decoded from memory.
    long long expectedLines = 0;
    {
        LineDecoder decoder;
        decoder.SetEmulation(2);
        MemoryByteSource memory(data.data(), data.size());
        ByteSource source = memory.Source();
        const char* text;
        int flags;
        while (decoder.ReadLine(source, &text, &flags) >= 0)
            ++expectedLines;
    }

    // The bare loop: the same bytes, received and thrown away.
    int port;
    SocketHandle listener = Listener(&port);
    std::thread receiver([&] {
        char peer[kAddressTextSize];
        SocketWaitReadable(listener, 10000);
        SocketHandle s = SocketAccept(listener, peer, sizeof peer);
        std::vector<char> buffer(1 << 16);
        size_t got = 0;
        while (got < data.size()) {
            SocketWaitReadable(s, 1000);
            int r = SocketReceive(s, buffer.data(), static_cast<int>(buffer.size()));
            if (r > 0)
                got += static_cast<size_t>(r);
            else if (r == 0 || !SocketWouldBlock())
                break;
        }
        SocketClose(s);
    });
    SocketHandle out = SocketConnect("127.0.0.1", port);
    Clock::time_point start = Clock::now();
    SendAll(out, data);
    receiver.join();
    double bare = Seconds(Clock::now() - start);
    SocketClose(out);
    SocketClose(listener);

    CountedLines lines;
    int listenPort = FreePort();
    RunningCapture running("listen://127.0.0.1:" + std::to_string(listenPort), lines);
    out = ConnectWhenUp(listenPort);
    start = Clock::now();
    SendAll(out, data);
    while (lines.count.load() < expectedLines)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    double decoded = Seconds(Clock::now() - start);
    SocketClose(out);

    double mb = static_cast<double>(data.size()) / 1e6;
    std::printf(
        "listen:// %.1f MB of receipts (%lld lines): %.1f MB/s decoded to lines; bare loopback "
        "receive loop %.1f MB/s; ratio %.2f\n",
        mb, expectedLines, mb / decoded, mb / bare, bare / decoded);
}

// A stand-in printer that answers every DLE EOT n with one byte and counts what it gets.
struct StandIn {
    StandIn() {
        listener = Listener(&port);
        thread = std::thread([this] {
            char peer[kAddressTextSize];
            while (!stop) {
                if (SocketWaitReadable(listener, 20) != 1)
                    continue;
                SocketHandle s = SocketAccept(listener, peer, sizeof peer);
                if (s == kInvalidSocket)
                    continue;
                std::thread([this, s] { Serve(s); }).detach();
                ++served;
            }
        });
    }
    void Serve(SocketHandle s) {
        std::vector<unsigned char> buffer(1 << 16);
        int state = 0;
        while (!stop) {
            if (SocketWaitReadable(s, 20) != 1)
                continue;
            int n = SocketReceive(s, buffer.data(), static_cast<int>(buffer.size()));
            if (n == 0 || (n < 0 && !SocketWouldBlock()))
                break;
            if (n < 0)
                continue;
            received += n;
            int answers = 0;
            for (int i = 0; i < n; ++i) {
                unsigned char c = buffer[static_cast<size_t>(i)];
                state = state == 2 ? (++answers, 0) : state == 1 ? (c == 0x04 ? 2 : 0) : (c == 0x10 ? 1 : 0);
            }
            for (int i = 0; i < answers; ++i) {
                char status = 0x12;
                while (SocketSend(s, &status, 1) < 0 && SocketWouldBlock())
                    SleepMilliseconds(1);
            }
        }
        SocketClose(s);
    }
    ~StandIn() {
        stop = true;
        thread.join();
        SleepMilliseconds(50);
        SocketClose(listener);
    }
    SocketHandle listener;
    int port;
    std::atomic<bool> stop{false};
    std::atomic<long long> received{0};
    std::atomic<int> served{0};
    std::thread thread;
};

std::vector<double> RoundTrips(int port, int count) {
    std::vector<double> times;
    SocketHandle s = ConnectWhenUp(port);
    const char request[] = {0x10, 0x04, 0x01};
    for (int i = 0; i < count; ++i) {
        Clock::time_point start = Clock::now();
        SendAll(s, std::string(request, 3));
        if (!ReceiveExactly(s, 1))
            break;
        times.push_back(Seconds(Clock::now() - start) * 1e6);
    }
    SocketClose(s);
    std::sort(times.begin(), times.end());
    return times;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())))];
}

void PrinterRelay(int roundTrips, int imageMegabytes) {
    StandIn printer;
    CountedLines lines;
    int relayPort = FreePort();
    RunningCapture running(
        "printer://127.0.0.1:" + std::to_string(relayPort) + ">127.0.0.1:" + std::to_string(printer.port),
        lines);
    std::vector<double> direct = RoundTrips(printer.port, roundTrips);
    std::vector<double> relayed = RoundTrips(relayPort, roundTrips);
    std::printf(
        "printer:// status round trip over %d requests: direct median %.1f us, p99 %.1f us; through zamri "
        "median %.1f us, p99 %.1f us; difference median %.1f us, p99 %.1f us\n",
        roundTrips, Percentile(direct, 0.5), Percentile(direct, 0.99), Percentile(relayed, 0.5),
        Percentile(relayed, 0.99), Percentile(relayed, 0.5) - Percentile(direct, 0.5),
        Percentile(relayed, 0.99) - Percentile(direct, 0.99));

    // A raster image of 1024-byte rows, GS v 0: what a logo or a whole-receipt bitmap sends.
    size_t rows = static_cast<size_t>(imageMegabytes) * 1024;
    std::string image = std::string("\x1dv0\x00\x00\x04", 6) + static_cast<char>(rows & 0xFF) +
                        static_cast<char>((rows >> 8) & 0xFF);
    for (size_t i = 0; i < rows * 1024; ++i)
        image.push_back(static_cast<char>((i * 7) & 0xFF));
    auto timeTo = [&](int port) {
        long long before = printer.received.load();
        SocketHandle s = ConnectWhenUp(port);
        Clock::time_point start = Clock::now();
        SendAll(s, image);
        while (printer.received.load() - before < static_cast<long long>(image.size()))
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        double took = Seconds(Clock::now() - start);
        SocketClose(s);
        return took;
    };
    double directTime = timeTo(printer.port);
    double relayTime = timeTo(relayPort);
    double mb = static_cast<double>(image.size()) / 1e6;
    std::printf(
        "printer:// %.1f MB raster image: through zamri %.1f MB/s, direct %.1f MB/s (ratio %.2f); "
        "decoder copy dropped %llu bytes\n",
        mb, mb / relayTime, mb / directTime, relayTime / directTime,
        static_cast<unsigned long long>(running.capture.DroppedBytes()));
}

void IdleChannels(int seconds) {
    CountedLines lines;
    // The printer behind the printer:// channels: idle, no till connects, so nothing reaches it
    // (a listener without a thread, so that the figure is zamri's alone).
    int printerPort;
    SocketHandle printer = Listener(&printerPort);
    int farPort;
    SocketHandle farEnd = Listener(&farPort);  // tcp:// channels connect here and hear nothing
    std::vector<std::unique_ptr<RunningCapture>> channels;
    for (int i = 0; i < 32; ++i) {
        std::string name;
        switch (i % 4) {
            case 0:
                name = "listen://127.0.0.1:" + std::to_string(FreePort());
                break;
            case 1:
                name = "printer://127.0.0.1:" + std::to_string(FreePort()) +
                       ">127.0.0.1:" + std::to_string(printerPort);
                break;
            case 2:
                name = "udp://127.0.0.1:" + std::to_string(FreePort());
                break;
            default:
                name = "tcp://127.0.0.1:" + std::to_string(farPort);
                break;
        }
        channels.emplace_back(new RunningCapture(name, lines));
    }
    std::vector<SocketHandle> accepted;
    char peer[kAddressTextSize];
    while (accepted.size() < 8 && SocketWaitReadable(farEnd, 5000) == 1)
        accepted.push_back(SocketAccept(farEnd, peer, sizeof peer));
    SleepMilliseconds(500);
    double cpuBefore = CpuSeconds();
    Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    double cpu = CpuSeconds() - cpuBefore;
    double wall = Seconds(Clock::now() - start);
    std::printf(
        "32 idle network channels (8 each of listen://, printer://, udp://, connected tcp://): "
        "%.3f ms of CPU in %.1f s\n",
        cpu * 1000, wall);
    channels.clear();
    for (SocketHandle s : accepted)
        SocketClose(s);
    SocketClose(farEnd);
    SocketClose(printer);
}

}  // namespace

int main(int argc, char** argv) {
    int megabytes = 64;
    int roundTrips = 2000;
    int imageMegabytes = 16;
    int seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--megabytes") == 0)
            megabytes = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--round-trips") == 0)
            roundTrips = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--image-megabytes") == 0)
            imageMegabytes = std::max(1, std::min(63, std::atoi(argv[i + 1])));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    SetErrorLineSink([](const char*) {});
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ListenThroughput(megabytes);
    PrinterRelay(roundTrips, imageMegabytes);
    IdleChannels(seconds);
    return 0;
}
