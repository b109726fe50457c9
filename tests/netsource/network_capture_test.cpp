// Network sources end to end over real loopback sockets: each form from the wire to the overlay
// substitute through the channel table's capture threads, the printer relay byte for byte, the
// reconnecting client, several connections at once, datagrams, allowed senders, and the
// messages of names and ports that cannot be opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/line_flags.h"
#include "net/send_all.h"
#include "net/socket_seam.h"
#include "netsource/network_capture.h"
#include "platform/os.h"
#include "program/program.h"
#include "send_client.h"
#include "support/free_port.h"
#include "support/messages.h"
#include "support/overlay_log.h"
#include "support/printer_bytes.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"

using namespace zamri;
using Line = testing_support::OverlayWrite;
using testing_support::PrinterBytes;
using testing_support::WaitUntil;

namespace {

// A receipt in the ESC/POS emulation with a raster logo, a barcode, a drawer kick and a cut.
const std::string kReceipt = PrinterBytes(
    "<ESC 40><ESC 61 01><GS 76 30 00 02 00 04 00 ff 0a 0c 1b 00 1d 10 ff>"
    "<ESC 45 01>CORNER SHOP<ESC 45 00><LF><ESC 61 00>Milk<HT>0.99<LF>TOTAL      0.99<LF>"
    "<GS 48 02><GS 6B 43 0C>590123412345<LF><ESC 70 00 19 FA><GS 56 42 03><FF>");

std::vector<Line> ReceiptLines(int channel) {
    return {{channel, 1, "CORNER SHOP"},
            {channel, 0, "Milk    0.99"},
            {channel, 0, "TOTAL      0.99"},
            {channel, 2, ""}};
}

// What the decoder hands on for kReceipt: the same, with the drawer kick before the cut's end.
std::vector<Line> DecodedReceipt() {
    std::vector<Line> lines = ReceiptLines(0);
    lines.insert(lines.end() - 1, Line{0, kLineFlagDrawer, ""});
    return lines;
}

// A port that was free a moment ago.
int FreePort(bool datagram = false) {
    return testing_support::FreePort(datagram ? testing_support::PortUse::kDatagram
                                              : testing_support::PortUse::kStream);
}

// Connects once the listener is up.
SocketHandle ConnectWhenUp(int port, const char* from = "127.0.0.1") {
    SocketHandle s = kInvalidSocket;
    WaitUntil([&] { return (s = SocketConnectFrom(from, "127.0.0.1", port)) != kInvalidSocket; });
    return s;
}

// Reads what comes until the peer closes or the bound passes; *closed tells which.
std::string ReadUntilClosed(SocketHandle s, bool* closed, int bound = 10000) {
    std::string got;
    char buffer[65536];
    *closed = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound);
    while (std::chrono::steady_clock::now() < deadline) {
        if (SocketWaitReadable(s, 50) != 1)
            continue;
        int n = SocketReceive(s, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || !SocketWouldBlock()) {
            *closed = true;
            break;
        }
    }
    return got;
}

// Reads exactly n bytes within the bound.
std::string ReadExactly(SocketHandle s, size_t n, int bound = 10000) {
    std::string got;
    char buffer[65536];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound);
    while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
        if (SocketWaitReadable(s, 50) != 1)
            continue;
        int r = SocketReceive(s, buffer, static_cast<int>(std::min<size_t>(sizeof buffer, n - got.size())));
        if (r > 0)
            got.append(buffer, static_cast<size_t>(r));
        else if (r == 0 || !SocketWouldBlock())
            break;
    }
    return got;
}

// A stand-in network printer: records every byte it is sent and answers each real-time status
// request (DLE EOT n) with one status byte, as receipt printers do. Serves any number of
// connections at once.
class StandInPrinter {
  public:
    static constexpr char kStatus = 0x12;

    StandInPrinter() {
        listener = SocketOpenStream();
        SocketBindAddress(listener, "127.0.0.1", 0);
        SocketListen(listener, 64);
        port = SocketLocalPort(listener);
        thread = std::thread([this] { Serve(); });
    }
    ~StandInPrinter() {
        stop = true;
        thread.join();
        for (std::thread& connection : connectionThreads)
            connection.join();
        SocketClose(listener);
    }
    int Port() const { return port; }
    std::string Received() {
        std::lock_guard<std::mutex> guard(lock);
        return received;
    }
    size_t ReceivedSize() {
        std::lock_guard<std::mutex> guard(lock);
        return received.size();
    }
    int Connections() const { return connections.load(); }
    // Closes the current connections from the printer's side.
    void HangUp() { ++hangUps; }

  private:
    void Serve() {
        while (!stop) {
            if (SocketWaitReadable(listener, 20) != 1)
                continue;
            char peer[kAddressTextSize];
            SocketHandle s = SocketAccept(listener, peer, sizeof peer);
            if (s == kInvalidSocket)
                continue;
            ++connections;
            connectionThreads.emplace_back([this, s] { ServeOne(s); });
        }
    }
    void ServeOne(SocketHandle s) {
        const int hangUpsBefore = hangUps.load();
        char buffer[65536];
        int dle = 0;  // 0 nothing, 1 DLE seen, 2 DLE EOT seen
        while (!stop && hangUps.load() == hangUpsBefore) {
            if (SocketWaitReadable(s, 20) != 1)
                continue;
            int n = SocketReceive(s, buffer, sizeof buffer);
            if (n == 0 || (n < 0 && !SocketWouldBlock()))
                break;
            if (n < 0)
                continue;
            std::string answers;
            for (int i = 0; i < n; ++i) {
                unsigned char c = static_cast<unsigned char>(buffer[i]);
                if (dle == 2) {
                    answers.push_back(kStatus);
                    dle = 0;
                } else if (dle == 1) {
                    dle = c == 0x04 ? 2 : 0;
                } else if (c == 0x10) {
                    dle = 1;
                }
            }
            {
                std::lock_guard<std::mutex> guard(lock);
                received.append(buffer, static_cast<size_t>(n));
            }
            if (!answers.empty())
                zamri::SocketSendAll(s, answers);
        }
        SocketClose(s);
    }

    SocketHandle listener;
    int port;
    std::atomic<bool> stop{false};
    std::atomic<int> hangUps{0};
    std::atomic<int> connections{0};
    std::mutex lock;
    std::string received;
    std::thread thread;
    std::vector<std::thread> connectionThreads;  // the serving thread's, joined after it
};

// Lines of a NetworkCapture used on its own; a closed gate holds every delivery, as a stalled
// overlay library would.
class CollectedLines : public LineOutput {
  public:
    void Deliver(const char* text, int flags) override {
        std::unique_lock<std::mutex> guard(lock);
        gateChanged.wait(guard, [this] { return !gateClosed; });
        lines.push_back(Line{0, flags, text});
    }
    std::vector<Line> Lines() {
        std::lock_guard<std::mutex> guard(lock);
        return lines;
    }
    size_t Count() { return Lines().size(); }
    void CloseGate() {
        std::lock_guard<std::mutex> guard(lock);
        gateClosed = true;
    }
    void OpenGate() {
        {
            std::lock_guard<std::mutex> guard(lock);
            gateClosed = false;
        }
        gateChanged.notify_all();
    }

  private:
    std::mutex lock;
    std::condition_variable gateChanged;
    bool gateClosed = false;
    std::vector<Line> lines;
};

// A NetworkCapture running its loop on a thread of its own.
class RunningCapture {
  public:
    RunningCapture(const std::string& name, LineOutput& output, const char* allowed = "", int emulation = 2)
        : capture(name.c_str(), Settings(emulation), output) {
        capture.SetAllowedSenders(allowed);
        opened = capture.Open();
        if (opened)
            thread = std::thread([this] { capture.Run(); });
    }
    ~RunningCapture() {
        capture.RequestStop();
        if (thread.joinable())
            thread.join();
    }
    static DecoderSettings Settings(int emulation) {
        DecoderSettings settings;
        settings.emulation = emulation;
        return settings;
    }
    NetworkCapture capture;
    int opened;
    std::thread thread;
};

class NetworkSources : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(1, SocketStartup());
        table.SetSettingsPath(dir.File("zamri.ini").c_str());
    }
    void TearDown() override {
        table.StopCapture();
        SocketCleanup();
    }
    void Enable(int index, const std::string& port, int emulation = 2, const char* allowed = "") {
        ChannelConfig& record = table.channels[index];
        record.enabled = 1;
        std::snprintf(record.portName, sizeof record.portName, "%s", port.c_str());
        std::snprintf(record.allowedSenders, sizeof record.allowedSenders, "%s", allowed);
        record.emulation = emulation;
    }
    std::vector<Line> Writes(int channel) {
        std::vector<Line> writes;
        for (const Line& line : overlay.Lines()) {
            if (line.channel == channel)
                writes.push_back(line);
        }
        return writes;
    }
    // A datagram sent before the channel's socket is bound is lost.
    bool WaitListening(int index) {
        return WaitUntil([&] {
            NetworkCapture* network = program.Capture().runs[index].network.load();
            return network != nullptr && network->ListeningPort() > 0;
        });
    }
    bool WaitWrites(int channel, size_t count) {
        return WaitUntil([&] { return Writes(channel).size() >= count; });
    }
    std::vector<std::string> ErrorLines() const { return recorder.ErrorLines(); }
    std::vector<std::string> Messages() const { return recorder.Messages(); }

    testing_support::MessageRecorder recorder;
    testing_support::TempDir dir;
    testing_support::OverlayLogFile overlay;  // before the table, which opens the overlay
    zamri::Program program;
    ChannelTable& table = program.Table();
};

// The sources of the lines that reach the sinks after the overlay (journal, export).
class SourceSink : public LineSink {
  public:
    void Accept(const DeliveredLine& line) override {
        std::lock_guard<std::mutex> guard(lock);
        sources.push_back(std::to_string(line.camera) + " " + line.source);
    }
    std::vector<std::string> Sources() {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<std::string> copy = sources;
        std::sort(copy.begin(), copy.end());
        copy.erase(std::unique(copy.begin(), copy.end()), copy.end());
        return copy;
    }

  private:
    std::mutex lock;
    std::vector<std::string> sources;
};

TEST_F(NetworkSources, EveryFormDeliversAReceiptAsItsPrintedLinesOnItsCamera) {
    auto sink = std::make_shared<SourceSink>();
    program.Delivery().AddSink(sink);
    StandInPrinter printer;
    SocketHandle farEnd = SocketOpenStream();  // the serial device server tcp:// connects to
    ASSERT_TRUE(SocketBindAddress(farEnd, "127.0.0.1", 0) && SocketListen(farEnd, 4));
    int listenPort = FreePort();
    int relayPort = FreePort();
    int udpPort = FreePort(true);
    Enable(0, "listen://127.0.0.1:" + std::to_string(listenPort));
    Enable(1, "printer://127.0.0.1:" + std::to_string(relayPort) +
                  ">127.0.0.1:" + std::to_string(printer.Port()));
    Enable(2, "tcp://127.0.0.1:" + std::to_string(SocketLocalPort(farEnd)));
    Enable(3, "udp://127.0.0.1:" + std::to_string(udpPort));
    ASSERT_EQ(1, table.StartCapture());

    // listen://, with the binary dump of what it decodes.
    SocketHandle till = ConnectWhenUp(listenPort);
    ASSERT_NE(kInvalidSocket, till);
    std::string dumpPath = dir.File("dump.bin");
    ASSERT_EQ(0, table.StartDump(table.channels[0].portName, dumpPath.c_str()));
    ASSERT_TRUE(zamri::SocketSendAll(till, kReceipt));
    SocketClose(till);
    ASSERT_TRUE(WaitWrites(0, 4));

    // printer://: the printer gets the receipt unchanged.
    till = ConnectWhenUp(relayPort);
    ASSERT_TRUE(zamri::SocketSendAll(till, kReceipt));
    ASSERT_TRUE(WaitUntil([&] { return printer.ReceivedSize() >= kReceipt.size(); }));
    SocketClose(till);
    ASSERT_TRUE(WaitWrites(1, 4));
    EXPECT_EQ(kReceipt, printer.Received());

    // tcp://: zamri connects to the device server, which then sends.
    ASSERT_EQ(1, SocketWaitReadable(farEnd, 10000));
    char peer[kAddressTextSize];
    SocketHandle device = SocketAccept(farEnd, peer, sizeof peer);
    ASSERT_NE(kInvalidSocket, device);
    ASSERT_TRUE(zamri::SocketSendAll(device, kReceipt));
    ASSERT_TRUE(WaitWrites(2, 4));

    // udp://
    ASSERT_TRUE(WaitListening(3));
    SocketHandle sender = SocketOpenDatagram();
    ASSERT_EQ(static_cast<int>(kReceipt.size()),
              SocketSendTo(sender, kReceipt.data(), static_cast<int>(kReceipt.size()), "127.0.0.1", udpPort));
    ASSERT_TRUE(WaitWrites(3, 4));

    for (int channel = 0; channel < 4; ++channel)
        EXPECT_EQ(ReceiptLines(channel), Writes(channel)) << "channel " << channel;
    ASSERT_EQ(1, table.StopDump(0));
    EXPECT_EQ(kReceipt, testing_support::ReadFileBytes(dumpPath));
    EXPECT_TRUE(Messages().empty());
    // The sinks get every network line too, named by its channel's port.
    std::vector<std::string> sources;
    for (int channel = 0; channel < 4; ++channel)
        sources.push_back(std::to_string(channel + 1) + " " + table.channels[channel].portName);
    EXPECT_EQ(sources, sink->Sources());

    SocketClose(sender);
    SocketClose(device);
    SocketClose(farEnd);
    ASSERT_EQ(1, table.StopCapture());
    for (const ChannelRun& run : program.Capture().runs)
        EXPECT_EQ(nullptr, run.network.load());
}

TEST_F(NetworkSources, NamesThatCannotBeParsedAndTakenPortsGetTheOpenFailedMessage) {
    SocketHandle holder = SocketOpenStream();
    ASSERT_TRUE(SocketBindAddress(holder, "127.0.0.1", 0) && SocketListen(holder, 1));
    std::string taken = "listen://127.0.0.1:" + std::to_string(SocketLocalPort(holder));
    int good = FreePort();
    Enable(0, "listen://nonsense");
    Enable(4, taken);
    Enable(5, "listen://127.0.0.1:" + std::to_string(good));
    ASSERT_EQ(1, table.StartCapture());
    ASSERT_TRUE(WaitUntil([&] { return Messages().size() >= 2; }));
    std::vector<std::string> shown = Messages();
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ((std::vector<std::string>{"Error|" + taken + " (for Camera 4) open failed.",
                                        "Error|listen://nonsense (for Camera 0) open failed."}),
              shown);
    SocketHandle till = ConnectWhenUp(good);
    ASSERT_TRUE(zamri::SocketSendAll(till, kReceipt));
    ASSERT_TRUE(WaitWrites(5, 4));
    EXPECT_EQ(ReceiptLines(5), Writes(5));
    SocketClose(till);
    SocketClose(holder);
}

TEST_F(NetworkSources, AllowedSendersLetInOnlyTheirAddressesAndReportEachRefusedOneOncePerMinute) {
    int listenPort = FreePort();
    int friendlyPort = FreePort(true);
    int strictPort = FreePort(true);
    Enable(0, "listen://" + std::to_string(listenPort), 2, "127.0.0.1 bogus");
    Enable(1, "udp://" + std::to_string(friendlyPort), 2, "10.9.9.0/24, 127.0.0.1/32");
    // A datagram's sender is 127.0.0.1 here: wine sends from a UDP socket bound to another
    // loopback address with 127.0.0.1 all the same, so this channel's list leaves it out.
    Enable(2, "udp://" + std::to_string(strictPort), 2, "10.9.9.0/24");
    ASSERT_EQ(1, table.StartCapture());

    SocketHandle allowed = ConnectWhenUp(listenPort);
    ASSERT_NE(kInvalidSocket, allowed);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SocketHandle other = SocketConnectFrom("127.0.0.2", "127.0.0.1", listenPort);
        ASSERT_NE(kInvalidSocket, other) << "127.0.0.2 is not usable as a second loopback address";
        bool closed;
        ReadUntilClosed(other, &closed);
        EXPECT_TRUE(closed);  // closed at once, long before the bound
        SocketClose(other);
    }
    ASSERT_TRUE(WaitListening(1) && WaitListening(2));
    SocketHandle sender = SocketOpenDatagram();
    SocketSendTo(sender, "STRANGER\n", 9, "127.0.0.1", strictPort);
    SocketSendTo(sender, "STRANGER\n", 9, "127.0.0.1", strictPort);
    SocketSendTo(sender, "FRIEND\n", 7, "127.0.0.1", friendlyPort);
    ASSERT_TRUE(zamri::SocketSendAll(allowed, kReceipt));
    ASSERT_TRUE(WaitWrites(0, 4));
    ASSERT_TRUE(WaitWrites(1, 1));
    ASSERT_TRUE(WaitUntil([&] { return program.Capture().runs[2].network.load()->RefusedCount() == 2; }));
    EXPECT_EQ(ReceiptLines(0), Writes(0));
    EXPECT_EQ((std::vector<Line>{{1, 1, "FRIEND"}}), Writes(1));
    EXPECT_TRUE(Writes(2).empty());

    std::vector<std::string> lines = ErrorLines();
    auto count = [&](const std::string& part) {
        int n = 0;
        for (const std::string& line : lines)
            n += line.find(part) != std::string::npos ? 1 : 0;
        return n;
    };
    EXPECT_EQ(1, count("allowed senders: ignored what is not an IPv4 address or block: bogus"));
    EXPECT_EQ(1, count("listen://" + std::to_string(listenPort) + ": refused 127.0.0.2"));
    EXPECT_EQ(1, count("udp://" + std::to_string(strictPort) + ": refused 127.0.0.1"));
    EXPECT_EQ(2u, program.Capture().runs[0].network.load()->RefusedCount());
    SocketClose(allowed);
    SocketClose(sender);
}

TEST_F(NetworkSources, ListenDecodesEachConnectionAsItsOwnStreamAndEndsAnOpenLineAtClose) {
    CollectedLines lines;
    int port = FreePort();
    RunningCapture running("listen://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    SocketHandle a = ConnectWhenUp(port);
    SocketHandle b = ConnectWhenUp(port);
    SocketHandle c = ConnectWhenUp(port);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.OpenConnections() == 3; }));
    // Interleaved halves: each connection's line is whole, never mixed with another's.
    ASSERT_TRUE(zamri::SocketSendAll(a, "ALPHA "));
    ASSERT_TRUE(zamri::SocketSendAll(b, "BRAVO "));
    ASSERT_TRUE(zamri::SocketSendAll(c, "CHARLIE cut off"));
    ASSERT_TRUE(zamri::SocketSendAll(b, "TWO\n"));
    ASSERT_TRUE(zamri::SocketSendAll(a, "ONE\n"));
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 2; }));
    SocketClose(c);  // mid-line: the line still counts
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 3; }));
    std::vector<std::string> texts;
    for (const Line& line : lines.Lines()) {
        texts.push_back(line.text);
        EXPECT_EQ(1, line.flags);  // each stream begins its own receipt
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ((std::vector<std::string>{"ALPHA ONE", "BRAVO TWO", "CHARLIE cut off"}), texts);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.OpenConnections() == 2; }));
    SocketClose(a);
    SocketClose(b);
}

TEST_F(NetworkSources, ListenTakesALargeJobWholeWhileTheOverlayStalls) {
    CollectedLines lines;
    int port = FreePort();
    RunningCapture running("listen://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    // Far more than one turn's reads, and more than the decoder may queue: the sender is held
    // in TCP while the overlay stalls, then every line arrives once and in order.
    std::string job;
    const int count = 300000;
    for (int i = 0; i < count; ++i)
        job += "L" + std::to_string(i) + "\n";
    lines.CloseGate();
    SocketHandle till = ConnectWhenUp(port);
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        sent = zamri::SocketSendAll(till, job);
        SocketClose(till);
    });
    SleepMilliseconds(300);
    EXPECT_LT(running.capture.DroppedBytes() + lines.Count(), 2u);
    lines.OpenGate();
    sender.join();
    EXPECT_TRUE(sent.load());
    // What is tested is that every line arrives once and in order, not how fast: under
    // ThreadSanitizer on a busy machine 300,000 lines can take more than a minute.
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() >= static_cast<size_t>(count); }, 300000));
    std::vector<Line> got = lines.Lines();
    ASSERT_EQ(static_cast<size_t>(count), got.size());
    for (int i = 0; i < count; i += 997)
        ASSERT_EQ("L" + std::to_string(i), got[static_cast<size_t>(i)].text);
    EXPECT_EQ("L" + std::to_string(count - 1), got.back().text);
}

// Lines "C<connection> <n>" counted per connection, each connection's in order.
class NumberedLines : public LineOutput {
  public:
    void Deliver(const char* text, int) override {
        int connection = -1;
        long n = -1;
        std::lock_guard<std::mutex> guard(lock);
        if (std::sscanf(text, "C%d %ld", &connection, &n) != 2 || connection < 0 || connection >= 1000) {
            ++strays;
            return;
        }
        if (n != next[connection])
            ++outOfOrder;
        next[connection] = n + 1;
        ++total;
    }
    long Total() {
        std::lock_guard<std::mutex> guard(lock);
        return total;
    }
    long Faults() {
        std::lock_guard<std::mutex> guard(lock);
        return strays + outOfOrder;
    }

  private:
    std::mutex lock;
    long next[1000] = {};
    long total = 0, strays = 0, outOfOrder = 0;
};

std::string NumberedJob(int connection, size_t bytes, long* lines) {
    std::string job;
    for (*lines = 0; job.size() < bytes; ++*lines)
        job += "C" + std::to_string(connection) + " " + std::to_string(*lines) + "\n";
    return job;
}

// A hundred connections that say nothing: 16 are served and the rest closed at once. Once the
// served ones have been silent past the idle limit, a till gets in, and newcomers after it take
// the places of the silent ones, never the place of the till that keeps sending.
TEST_F(NetworkSources, AHundredIdleListenConnectionsGiveWayToATillThatSends) {
    CollectedLines lines;
    int port = FreePort();
    RunningCapture running("listen://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    constexpr int kIdle = 100;
    constexpr int kServed = NetworkCapture::kMaxConnections;
    std::vector<SocketHandle> idle;
    for (int i = 0; i < kIdle; ++i)
        idle.push_back(ConnectWhenUp(port));
    ASSERT_TRUE(WaitUntil([&] { return running.capture.TurnedAway() == kIdle - kServed; }));
    EXPECT_EQ(kServed, running.capture.OpenConnections());

    running.capture.SetIdleLimit(200);
    SleepMilliseconds(300);  // lets the served ones become idle
    SocketHandle till = ConnectWhenUp(port);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.ConnectionsReplaced() == 1; }));
    std::vector<SocketHandle> newcomers;
    for (int i = 1; i < kServed; ++i) {
        ASSERT_TRUE(zamri::SocketSendAll(till, "TILL LINE " + std::to_string(i) + "\n"));
        newcomers.push_back(ConnectWhenUp(port));
        ASSERT_TRUE(
            WaitUntil([&] { return running.capture.ConnectionsReplaced() == static_cast<uint64_t>(i + 1); }));
    }
    for (int i = 0; i < kServed; ++i) {
        bool closed;
        ReadUntilClosed(idle[static_cast<size_t>(i)], &closed);
        EXPECT_TRUE(closed) << "idle connection " << i;
    }
    // Nobody idle enough now: the next one is closed at once.
    running.capture.SetIdleLimit(60000);
    SocketHandle late = ConnectWhenUp(port);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.TurnedAway() == kIdle - kServed + 1; }));
    ASSERT_TRUE(zamri::SocketSendAll(till, "TILL LINE 16\n"));
    SocketClose(till);
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == static_cast<size_t>(kServed); }));
    std::vector<Line> got = lines.Lines();
    for (int i = 1; i <= kServed; ++i)
        EXPECT_EQ("TILL LINE " + std::to_string(i), got[static_cast<size_t>(i - 1)].text);
    for (SocketHandle s : idle)
        SocketClose(s);
    for (SocketHandle s : newcomers)
        SocketClose(s);
    SocketClose(late);
}

// Peers that connect, send and close, over and over: the bytes waiting to be decoded stay under
// the channel's bound (the senders wait in TCP), the streams being decoded (a thread each) stay
// at most kMaxStreams while the overlay stalls (newcomers wait to be accepted), and every line
// of every connection still arrives, whole and in order.
TEST_F(NetworkSources, ListenChurnKeepsBytesAndThreadsBounded) {
    CollectedLines stalled;
    int port = FreePort();
    {
        RunningCapture running("listen://127.0.0.1:" + std::to_string(port), stalled, "", 1);
        ASSERT_EQ(1, running.opened);
        stalled.CloseGate();
        struct Reopen {
            CollectedLines& lines;
            ~Reopen() { lines.OpenGate(); }  // also when a check fails: the stop waits for the decoders
        } reopen{stalled};
        constexpr int kConnections = NetworkCapture::kMaxStreams + 8;
        long sent = 0;
        for (int c = 0; c < kConnections; ++c) {
            long count = 0;
            SocketHandle s = ConnectWhenUp(port);
            ASSERT_TRUE(zamri::SocketSendAll(s, NumberedJob(c, 4096, &count)));
            SocketClose(s);
            sent += count;
        }
        ASSERT_TRUE(WaitUntil([&] { return running.capture.Streams() == NetworkCapture::kMaxStreams; }));
        EXPECT_EQ(0u, running.capture.TurnedAway());
        stalled.OpenGate();
        ASSERT_TRUE(WaitUntil([&] { return stalled.Count() == static_cast<size_t>(sent); }));
        EXPECT_EQ(NetworkCapture::kMaxStreams, running.capture.PeakStreams());
        ASSERT_TRUE(WaitUntil([&] { return running.capture.Streams() == 0; }));
    }

    NumberedLines lines;
    RunningCapture running("listen://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    constexpr int kSenders = 4;
    constexpr int kRounds = 3;
    std::atomic<long> sentLines{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenders; ++t) {
        senders.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                long count = 0;
                std::string job = NumberedJob(t * kRounds + round, 512 * 1024, &count);
                SocketHandle s = ConnectWhenUp(port);
                if (zamri::SocketSendAll(s, job))
                    sentLines += count;
                SocketClose(s);
            }
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    ASSERT_TRUE(WaitUntil([&] { return lines.Total() == sentLines.load(); }, 60000));
    EXPECT_EQ(0, lines.Faults());
    EXPECT_LT(running.capture.PeakBacklog(), ChannelBacklog::kPauseBytes + 64 * 1024);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.Streams() == 0; }));
    EXPECT_EQ(0u, running.capture.Backlog());
}

TEST_F(NetworkSources, AQuietConnectionEndsItsOpenReceiptAsAQuietSerialLineDoes) {
    CollectedLines lines;
    DecoderSettings settings;
    settings.emulation = 1;
    settings.decoding.idleSeconds = 1;
    int port = FreePort();
    NetworkCapture capture(("listen://127.0.0.1:" + std::to_string(port)).c_str(), settings, lines);
    ASSERT_EQ(1, capture.Open());
    std::thread loop([&] { capture.Run(); });
    SocketHandle till = ConnectWhenUp(port);
    ASSERT_TRUE(zamri::SocketSendAll(till, "A\nB"));  // the connection stays open, the line too
    EXPECT_TRUE(WaitUntil([&] { return lines.Count() == 2; }));
    EXPECT_EQ((std::vector<Line>{{0, 1, "A"}, {0, 2, "B"}}), lines.Lines());
    capture.RequestStop();
    loop.join();
    SocketClose(till);
}

TEST_F(NetworkSources, DatagramsAreOneStreamSoALineMaySpanTwo) {
    CollectedLines lines;
    int port = FreePort(true);
    RunningCapture running("udp://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    SocketHandle s = SocketOpenDatagram();
    SocketSendTo(s, "FIRST\nSEC", 9, "127.0.0.1", port);
    SocketSendTo(s, "OND\n", 4, "127.0.0.1", port);
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 2; }));
    EXPECT_EQ((std::vector<Line>{{0, 1, "FIRST"}, {0, 0, "SECOND"}}), lines.Lines());
    SocketClose(s);
}

TEST_F(NetworkSources, TcpClientConnectsAgainWhenTheFarEndRestartsWithoutDuplicates) {
    CollectedLines lines;
    SocketHandle server = SocketOpenStream();
    ASSERT_TRUE(SocketBindAddress(server, "127.0.0.1", 0) && SocketListen(server, 4));
    int port = SocketLocalPort(server);
    RunningCapture running("tcp://127.0.0.1:" + std::to_string(port), lines, "", 1);
    ASSERT_EQ(1, running.opened);
    char peer[kAddressTextSize];
    ASSERT_EQ(1, SocketWaitReadable(server, 10000));
    SocketHandle device = SocketAccept(server, peer, sizeof peer);
    ASSERT_TRUE(zamri::SocketSendAll(device, "BEFORE\nhalf a li"));
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 1; }));
    // The device server restarts: its connection and its listener go away, then come back.
    SocketClose(device);
    SocketClose(server);
    SleepMilliseconds(300);
    server = SocketOpenStream();
    ASSERT_TRUE(SocketBindAddress(server, "127.0.0.1", port) && SocketListen(server, 4));
    auto restarted = std::chrono::steady_clock::now();
    ASSERT_EQ(1, SocketWaitReadable(server, 10000));
    device = SocketAccept(server, peer, sizeof peer);
    auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - restarted);
    // The next try comes a retry interval later: well within five of them even on a loaded machine.
    EXPECT_LT(waited.count(), 5 * NetworkCapture::kReconnectMilliseconds);
    ASSERT_TRUE(zamri::SocketSendAll(device, "AFTER\n"));
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 2; }));
    EXPECT_EQ((std::vector<Line>{{0, 1, "BEFORE"}, {0, 0, "AFTER"}}), lines.Lines());
    SocketClose(device);
    SocketClose(server);
}

TEST_F(NetworkSources, PrinterRelayPassesEveryByteBothWaysAndAStalledOverlayDoesNotSlowIt) {
    StandInPrinter printer;
    CollectedLines lines;
    int port = FreePort();
    std::string name =
        "printer://127.0.0.1:" + std::to_string(port) + ">127.0.0.1:" + std::to_string(printer.Port());
    RunningCapture running(name, lines);
    ASSERT_EQ(1, running.opened);
    std::string dumpPath = dir.File("relay.bin");
    ASSERT_EQ(1, running.capture.OpenDump(name.c_str(), dumpPath.c_str()));
    SocketHandle till = ConnectWhenUp(port);

    // A status request gets the printer's answer through the relay.
    ASSERT_TRUE(zamri::SocketSendAll(till, PrinterBytes("<DLE EOT 01>")));
    EXPECT_EQ(std::string(1, StandInPrinter::kStatus), ReadExactly(till, 1));

    // The overlay stalls; a 1 MB raster image and the receipt still reach the printer whole.
    lines.CloseGate();
    std::string image = PrinterBytes("<GS 76 30 00 00 04 00 04>");  // 1024 x 1024 bytes follow
    for (int i = 0; i < 1024 * 1024; ++i)
        image.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
    std::string job = image + kReceipt + PrinterBytes("<DLE EOT 02>");
    for (int i = 0; i < 200; ++i)
        job += "LINE " + std::to_string(i) + "\n";
    ASSERT_TRUE(zamri::SocketSendAll(till, job));
    EXPECT_EQ(std::string(1, StandInPrinter::kStatus), ReadExactly(till, 1));
    ASSERT_TRUE(WaitUntil([&] { return printer.ReceivedSize() >= 3 + job.size(); }));
    EXPECT_TRUE(printer.Received() == PrinterBytes("<DLE EOT 01>") + job) << "the printer got other bytes";
    EXPECT_LE(lines.Count(), 1u);  // the decoder is still held by the overlay
    lines.OpenGate();
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 205; }));
    std::vector<Line> got = lines.Lines();
    EXPECT_EQ(DecodedReceipt(), std::vector<Line>(got.begin(), got.begin() + 5));
    EXPECT_EQ("LINE 199", got.back().text);
    EXPECT_EQ(0u, running.capture.DroppedBytes());
    // The dump holds what the till sent, never the printer's answers.
    running.capture.CloseDump();
    EXPECT_TRUE(testing_support::ReadFileBytes(dumpPath) == PrinterBytes("<DLE EOT 01>") + job);

    // The printer hangs up: the till's connection is closed too.
    printer.HangUp();
    bool closed;
    ReadUntilClosed(till, &closed);
    EXPECT_TRUE(closed);
    SocketClose(till);
    ASSERT_TRUE(WaitUntil([&] { return running.capture.OpenConnections() == 0; }));
}

// Tills that hold every relay of a printer:// channel and print nothing: the next one is closed
// at once while they are recent; once they are idle, a till with a job takes the place of the one
// silent longest, and its job reaches the printer and the overlay whole.
TEST_F(NetworkSources, IdlePrinterRelaysGiveWayToATillWithAJob) {
    StandInPrinter printer;
    CollectedLines lines;
    int port = FreePort();
    RunningCapture running(
        "printer://127.0.0.1:" + std::to_string(port) + ">127.0.0.1:" + std::to_string(printer.Port()),
        lines);
    ASSERT_EQ(1, running.opened);
    std::vector<SocketHandle> idle;
    for (int i = 0; i < NetworkCapture::kMaxConnections; ++i)
        idle.push_back(ConnectWhenUp(port));
    ASSERT_TRUE(WaitUntil([&] { return printer.Connections() == NetworkCapture::kMaxConnections; }));
    SocketHandle refused = ConnectWhenUp(port);
    bool closed;
    ReadUntilClosed(refused, &closed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(1u, running.capture.TurnedAway());

    running.capture.SetIdleLimit(200);
    SleepMilliseconds(300);  // lets the relays become idle
    SocketHandle till = ConnectWhenUp(port);
    ASSERT_TRUE(zamri::SocketSendAll(till, kReceipt));
    ReadUntilClosed(idle[0], &closed);
    EXPECT_TRUE(closed);
    ASSERT_TRUE(WaitUntil([&] { return printer.Received() == kReceipt; }));
    SocketClose(till);
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 5; }));
    EXPECT_EQ(DecodedReceipt(), lines.Lines());
    EXPECT_EQ(1u, running.capture.ConnectionsReplaced());
    EXPECT_EQ(0u, running.capture.DroppedBytes());
    for (SocketHandle s : idle)
        SocketClose(s);
    SocketClose(refused);
}

// With the overlay stalled, every job's decoder waits; once 32 are waiting, the next job still
// reaches the printer whole, undecoded and counted as dropped, and no further thread is made.
TEST_F(NetworkSources, APrinterJobGoesToThePrinterWhileDecodingIsFarBehind) {
    StandInPrinter printer;
    CollectedLines lines;
    int port = FreePort();
    RunningCapture running(
        "printer://127.0.0.1:" + std::to_string(port) + ">127.0.0.1:" + std::to_string(printer.Port()),
        lines);
    ASSERT_EQ(1, running.opened);
    lines.CloseGate();
    struct Reopen {
        CollectedLines& lines;
        ~Reopen() { lines.OpenGate(); }
    } reopen{lines};
    const std::string job = "JOB LINE\n";
    for (int i = 0; i <= NetworkCapture::kMaxStreams; ++i) {
        ASSERT_TRUE(WaitUntil([&] { return running.capture.OpenConnections() == 0; }));
        SocketHandle till = ConnectWhenUp(port);
        ASSERT_TRUE(zamri::SocketSendAll(till, job));
        ASSERT_TRUE(WaitUntil([&] { return printer.ReceivedSize() == (i + 1) * job.size(); })) << "job " << i;
        SocketClose(till);
    }
    EXPECT_EQ(NetworkCapture::kMaxStreams, running.capture.PeakStreams());
    EXPECT_EQ(job.size(), running.capture.DroppedBytes());
    lines.OpenGate();
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == static_cast<size_t>(NetworkCapture::kMaxStreams); }));
}

TEST_F(NetworkSources, PrinterThatCannotBeReachedClosesTheTillAtOnce) {
    CollectedLines lines;
    int port = FreePort();
    int nobody = FreePort();
    RunningCapture running(
        "printer://127.0.0.1:" + std::to_string(port) + ">127.0.0.1:" + std::to_string(nobody), lines);
    ASSERT_EQ(1, running.opened);
    SocketHandle till = ConnectWhenUp(port);
    auto start = std::chrono::steady_clock::now();
    bool closed;
    zamri::SocketSendAll(till, "never printed\n");
    ReadUntilClosed(till, &closed);
    EXPECT_TRUE(closed);
    auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LT(took.count(), NetworkCapture::kConnectTimeoutMilliseconds);
    SocketClose(till);
    SleepMilliseconds(50);
    EXPECT_EQ(0u, lines.Count());  // what the printer never got was never printed
}

TEST_F(NetworkSources, ZamriSendSendsAPrintJobRawOverTcpAndAsDatagrams) {
    CollectedLines tcpLines;
    CollectedLines udpLines;
    int tcpPort = FreePort();
    int udpPort = FreePort(true);
    RunningCapture overTcp("listen://127.0.0.1:" + std::to_string(tcpPort), tcpLines);
    RunningCapture overUdp("udp://127.0.0.1:" + std::to_string(udpPort), udpLines);
    ASSERT_EQ(1, overTcp.opened);
    ASSERT_EQ(1, overUdp.opened);
    std::string job = dir.File("job.bin");
    ASSERT_TRUE(testing_support::WriteFileBytes(job, kReceipt));
    char self[1024];
    ASSERT_GT(GetExecutablePath(self, sizeof self), 0);
    std::string program(self);
    program = program.substr(0, program.find_last_of("/\\") + 1) + "zamri-send";
    std::string command = program + " -q --raw --port " + std::to_string(tcpPort) + " " + job;
    ASSERT_EQ(0, std::system(command.c_str())) << command;
    command = program + " -q --udp --repeat 2 --port " + std::to_string(udpPort) + " " + job;
    ASSERT_EQ(0, std::system(command.c_str())) << command;
    ASSERT_TRUE(WaitUntil([&] { return tcpLines.Count() == 5 && udpLines.Count() == 10; }));
    std::vector<Line> once = DecodedReceipt();
    std::vector<Line> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(once, tcpLines.Lines());
    EXPECT_EQ(twice, udpLines.Lines());
}

TEST_F(NetworkSources, TcpModeServerTakesTheSameListAndAListenAddress) {
    zamri::Program tcpTableProgram;
    ChannelTable& tcpTable = tcpTableProgram.Table();
    tcpTable.SetMode(1);
    tcpTable.SetTcpPort(0);
    std::snprintf(tcpTable.tcpListenAddress, sizeof tcpTable.tcpListenAddress, "127.0.0.1");
    std::snprintf(tcpTable.tcpAllowedSenders, sizeof tcpTable.tcpAllowedSenders, "127.0.0.1 10.0.0.0/99");
    ASSERT_EQ(1, tcpTable.StartCapture());
    int port = tcpTableProgram.Capture().TcpServer()->ListeningPort();
    ASSERT_GT(port, 0);

    SocketHandle other = SocketConnectFrom("127.0.0.2", "127.0.0.1", port);
    ASSERT_NE(kInvalidSocket, other);
    bool closed;
    EXPECT_EQ("", ReadUntilClosed(other, &closed));  // not even the challenge
    EXPECT_TRUE(closed);
    SocketClose(other);
    // Listening on 127.0.0.1 only: the same port on another local address is not served.
    EXPECT_EQ(kInvalidSocket, SocketConnectFrom("127.0.0.1", "127.0.0.2", port));

    SendClient client;
    ASSERT_EQ(1, client.Connect("127.0.0.1", port));
    ASSERT_EQ(1, client.OpeningExchange());
    ASSERT_EQ(1, client.SendTextLine(2, "HELLO\n", 6));
    ASSERT_TRUE(WaitWrites(1, 1));
    EXPECT_EQ((std::vector<Line>{{1, 0, "HELLO"}}), Writes(1));
    EXPECT_EQ(1u, tcpTableProgram.Capture().TcpServer()->RefusedSenders());
    std::vector<std::string> lines = ErrorLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos,
              lines[0].find("TCP server: allowed senders: ignored what is not an IPv4 address or "
                            "block: 10.0.0.0/99"));
    EXPECT_NE(std::string::npos, lines[1].find("TCP server: refused 127.0.0.2"));
}

// Host names are looked up aside: a named device server and a named printer are reached, and a
// printer name that does not resolve closes the till without holding the channel or its stop.
TEST_F(NetworkSources, NamedHostsAreReachedAndAnUnknownPrinterNameClosesTheTill) {
    CollectedLines lines;
    SocketHandle server = SocketOpenStream();
    ASSERT_TRUE(SocketBindAddress(server, "127.0.0.1", 0) && SocketListen(server, 4));
    RunningCapture client("tcp://localhost:" + std::to_string(SocketLocalPort(server)), lines, "", 1);
    ASSERT_EQ(1, client.opened);
    ASSERT_EQ(1, SocketWaitReadable(server, 10000));
    char peer[kAddressTextSize];
    SocketHandle device = SocketAccept(server, peer, sizeof peer);
    ASSERT_TRUE(zamri::SocketSendAll(device, "BY NAME\n"));
    ASSERT_TRUE(WaitUntil([&] { return lines.Count() == 1; }));
    SocketClose(device);
    SocketClose(server);

    StandInPrinter printer;
    int port = FreePort();
    RunningCapture relay(
        "printer://127.0.0.1:" + std::to_string(port) + ">localhost:" + std::to_string(printer.Port()),
        lines);
    ASSERT_EQ(1, relay.opened);
    SocketHandle till = ConnectWhenUp(port);
    ASSERT_TRUE(zamri::SocketSendAll(till, "RELAYED\n"));
    ASSERT_TRUE(WaitUntil([&] { return printer.Received() == "RELAYED\n"; }));
    SocketClose(till);

    int unknownPort = FreePort();
    auto nowhere = std::unique_ptr<RunningCapture>(new RunningCapture(
        "printer://127.0.0.1:" + std::to_string(unknownPort) + ">printer.invalid:9100", lines));
    ASSERT_EQ(1, nowhere->opened);
    till = ConnectWhenUp(unknownPort);
    zamri::SocketSendAll(till, "never printed\n");
    bool closed;
    ReadUntilClosed(till, &closed);
    EXPECT_TRUE(closed);
    SocketClose(till);
    nowhere.reset();  // the stop does not wait for the name servers
    EXPECT_EQ(2u, lines.Count());
}

}  // namespace
