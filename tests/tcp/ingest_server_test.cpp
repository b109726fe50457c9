// The TCP server over real loopback sockets: opening exchange, frames, capacity, connection
// life, server life and the queue between the network thread and the worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/os.h"
#include "send_client.h"
#include "support/messages.h"
#include "support/server_event_log.h"
#include "support/wait.h"
#include "tcp/tcp_ingest_server.h"
#include "tcp/wire_protocol.h"

using namespace zamri;
using testing_support::MessageRecorder;
using testing_support::ServerEventLog;
using testing_support::WaitUntil;

namespace {

constexpr int kTestOpeningTimeout = 400;

std::string Header(int payloadLength, int type) {
    unsigned char bytes[4];
    PutUInt16(bytes, static_cast<uint16_t>(payloadLength));
    PutUInt16(bytes + 2, static_cast<uint16_t>(type));
    return std::string(reinterpret_cast<char*>(bytes), 4);
}

std::string TextFrame(int camera, const std::string& text) {
    std::string out(8 + text.size(), '\0');
    EncodeTextLineFrame(camera, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<unsigned char*>(&out[0]), static_cast<int>(out.size()));
    return out;
}

class IngestServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        server.reset(new TcpIngestServer);
        ASSERT_EQ(server->Init(&log, ServerEventLog::Callback), 1);
        server->SetOpeningTimeout(kTestOpeningTimeout);
        ASSERT_EQ(server->Start(0), 0);
        port = server->ListeningPort();
        ASSERT_GT(port, 0);
    }
    void TearDown() override {
        log.OpenGate();
        if (server != nullptr)
            server->Stop();
        server.reset();
    }
    // Starts again with another bound for the opening exchange.
    void Restart(int openingTimeout) {
        server->Stop();
        server->SetOpeningTimeout(openingTimeout);
        ASSERT_EQ(server->Start(0), 0);
        port = server->ListeningPort();
    }
    // A client that passed the opening exchange and is in the server's table.
    std::unique_ptr<SendClient> Open() {
        std::unique_ptr<SendClient> client(new SendClient);
        int before = server->ClientCount();
        EXPECT_EQ(client->Connect("127.0.0.1", port), 1);
        EXPECT_EQ(client->OpeningExchange(), 1);
        EXPECT_TRUE(WaitUntil([&] { return server->ClientCount() > before; }));
        return client;
    }

    MessageRecorder messages;
    ServerEventLog log;
    std::unique_ptr<TcpIngestServer> server;
    int port = 0;
};

TEST_F(IngestServerTest, OpeningExchangeAcceptsTheRightReplyOnly) {
    std::unique_ptr<SendClient> good = Open();
    EXPECT_TRUE(WaitUntil([&] { return log.Connected() == 1; }));

    SendClient wrong;
    ASSERT_EQ(wrong.Connect("127.0.0.1", port), 1);
    int32_t badReply = OpeningReply(kOpeningChallenge) + 1;
    EXPECT_EQ(wrong.OpeningExchange(5000, &badReply), 0);
    EXPECT_EQ(wrong.WaitForClose(5000), 1);

    // A client that leaves after the challenge.
    SendClient quitter;
    ASSERT_EQ(quitter.Connect("127.0.0.1", port), 1);
    unsigned char challenge[4];
    ASSERT_EQ(quitter.ReceiveBytes(challenge, 4, 5000), 4);
    EXPECT_EQ(GetInt32(challenge), kOpeningChallenge);
    quitter.Close();

    // None of them disturbed the accepted one.
    ASSERT_EQ(good->SendTextLine(1, "still here\n", 11), 1);
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == 1; }));
    EXPECT_EQ(log.Connected(), 1);
    EXPECT_EQ(server->ClientCount(), 1);
}

// Connections that stall in the opening exchange, all open at once: silent ones, and ones that
// answer one byte a second. Neither holds an established client's lines nor a new client's
// exchange, and each is still closed at the exchange limit.
TEST_F(IngestServerTest, StalledExchangesHoldNobody) {
    constexpr int kStalled = 50;
    constexpr int kLimit = 2500;  // the dribblers' fourth byte would come after 3 s
    for (bool dribble : {false, true}) {
        SCOPED_TRACE(dribble ? "one byte a second" : "silent");
        Restart(kLimit);
        size_t linesBefore = log.LineCount();
        std::unique_ptr<SendClient> established = Open();
        std::vector<std::unique_ptr<SendClient>> stalled;
        auto start = std::chrono::steady_clock::now();  // before any stalled one's exchange began
        for (int i = 0; i < kStalled; ++i) {
            stalled.emplace_back(new SendClient);
            ASSERT_EQ(stalled.back()->Connect("127.0.0.1", port), 1);
        }
        ASSERT_TRUE(WaitUntil([&] { return server->OpeningCount() == kStalled; }));
        std::atomic<bool> dribbling{dribble};
        std::thread dribbler([&] {
            unsigned char reply[4];
            PutInt32(reply, OpeningReply(kOpeningChallenge));
            for (int byte = 0; byte < 4 && dribbling.load(); ++byte) {
                for (auto& client : stalled)
                    client->SendBytes(reply + byte, 1);
                for (int tick = 0; tick < 100 && dribbling.load(); ++tick)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });

        for (int i = 0; i < 20; ++i) {
            std::string text = "line " + std::to_string(i) + "\n";
            ASSERT_EQ(established->SendTextLine(1, text.data(), static_cast<int>(text.size())), 1);
            ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == linesBefore + i + 1; }));
        }
        std::unique_ptr<SendClient> newcomer = Open();
        // All of that happened while every stalled connection was still waiting.
        EXPECT_EQ(server->OpeningCount(), kStalled);

        for (auto& client : stalled)
            EXPECT_EQ(client->WaitForClose(10000), 1);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLimit));
        dribbling = false;
        dribbler.join();
        EXPECT_TRUE(WaitUntil([&] { return server->OpeningCount() == 0; }));
        EXPECT_EQ(server->ClientCount(), 2);
    }
}

// The tills of a store all connect when the recorder PC comes back: every one gets in. What is
// tested is room (the backlog, the slots, the connections kept in their exchange), so the
// exchange's time limits on both sides are set far out: with the real 3 s, 63 client threads on
// a loaded machine (or under wine) can miss it, which says nothing about room.
TEST_F(IngestServerTest, SixtyThreeClientsConnectingAtOnceAllGetIn) {
    constexpr int kClients = 63;
    Restart(60000);
    for (int round = 0; round < 5; ++round) {
        std::vector<std::unique_ptr<SendClient>> clients(kClients);
        std::vector<int> verdicts(kClients, -2);
        std::mutex lock;
        std::condition_variable go;
        bool released = false;
        std::vector<std::thread> threads;
        for (int i = 0; i < kClients; ++i) {
            threads.emplace_back([&, i] {
                {
                    std::unique_lock<std::mutex> guard(lock);
                    go.wait(guard, [&] { return released; });
                }
                clients[i].reset(new SendClient);
                // -2: no connection, -1: no answer in time, 0: refused.
                if (clients[i]->Connect("127.0.0.1", port) == 1)
                    verdicts[i] = clients[i]->OpeningExchange(60000);
            });
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            released = true;
        }
        go.notify_all();
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(std::count(verdicts.begin(), verdicts.end(), 1), kClients)
            << "round " << round << ": " << std::count(verdicts.begin(), verdicts.end(), -2)
            << " not connected, " << std::count(verdicts.begin(), verdicts.end(), -1) << " unanswered, "
            << std::count(verdicts.begin(), verdicts.end(), 0) << " refused";
        EXPECT_TRUE(WaitUntil([&] { return server->ClientCount() == kClients; }));
        clients.clear();
        ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 0; }));
    }
    EXPECT_EQ(messages.Count("Error|Maximum Client( 64 )"), 0);
}

// More connections in their exchange than the loop keeps: the oldest waiting one makes room.
TEST_F(IngestServerTest, AFloodOfSilentConnectionsCannotLockOutATill) {
    Restart(60000);  // none of them leaves by its own deadline here
    std::vector<std::unique_ptr<SendClient>> silent;
    for (int i = 0; i < TcpServer::kMaxOpening; ++i) {
        silent.emplace_back(new SendClient);
        ASSERT_EQ(silent.back()->Connect("127.0.0.1", port), 1);
        ASSERT_TRUE(WaitUntil([&] { return server->OpeningCount() == i + 1; }));
    }
    std::unique_ptr<SendClient> till = Open();
    EXPECT_EQ(silent.front()->WaitForClose(10000), 1);
    EXPECT_EQ(server->OpeningCount(), TcpServer::kMaxOpening - 1);
    ASSERT_EQ(till->SendTextLine(5, "in\n", 3), 1);
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == 1; }));
}

// 63 connections that pass the opening exchange and then say nothing hold every slot. While
// they are recent the server is genuinely full and refuses as before; once they have been silent
// past the idle limit, a till gets in, and each newcomer after it takes the slot of the holder
// silent longest, never that of the till, which keeps sending and loses no line.
TEST_F(IngestServerTest, SilentSlotHoldersGiveWayToATillThatSends) {
    constexpr int kHolders = 63;
    std::vector<std::unique_ptr<SendClient>> holders;
    for (int i = 0; i < kHolders; ++i)
        holders.push_back(Open());
    SendClient early;
    ASSERT_EQ(early.Connect("127.0.0.1", port), 1);
    EXPECT_EQ(early.OpeningExchange(10000), -1);
    EXPECT_TRUE(WaitUntil([&] { return messages.Count("Error|Maximum Client( 64 )") == 1; }));

    server->SetIdleLimit(200);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // lets the holders become idle
    SendClient till;
    ASSERT_EQ(till.Connect("127.0.0.1", port), 1);
    ASSERT_EQ(till.OpeningExchange(10000), 1);
    EXPECT_EQ(holders[0]->WaitForClose(10000), 1);
    std::vector<std::unique_ptr<SendClient>> newcomers;
    for (int i = 1; i < kHolders; ++i) {
        std::string text = "till line " + std::to_string(i) + "\n";
        ASSERT_EQ(till.SendTextLine(3, text.data(), static_cast<int>(text.size())), 1);
        newcomers.emplace_back(new SendClient);
        ASSERT_EQ(newcomers.back()->Connect("127.0.0.1", port), 1);
        ASSERT_EQ(newcomers.back()->OpeningExchange(10000), 1) << "newcomer " << i;
        ASSERT_EQ(holders[i]->WaitForClose(10000), 1) << "holder " << i;
    }
    ASSERT_EQ(till.SendTextLine(3, "till line 63\n", 13), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == static_cast<size_t>(kHolders); }));
    for (int i = 1; i <= kHolders; ++i)
        EXPECT_EQ(log.Lines()[i - 1], std::make_pair(3, "till line " + std::to_string(i) + "\n"));
    EXPECT_EQ(server->ClientsReplaced(), static_cast<uint64_t>(kHolders));
    EXPECT_EQ(server->ClientCount(), kHolders);
    EXPECT_TRUE(WaitUntil([&] { return log.Closed() == kHolders; }));

    // Nobody idle enough: full again, refused as a 64th (the notice stays once for the burst).
    server->SetIdleLimit(60000);
    SendClient late;
    ASSERT_EQ(late.Connect("127.0.0.1", port), 1);
    EXPECT_EQ(late.OpeningExchange(10000), -1);
    EXPECT_EQ(messages.Count("Error|Maximum Client( 64 )"), 1);
    ASSERT_EQ(till.SendTextLine(3, "still in\n", 9), 1);
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == static_cast<size_t>(kHolders + 1); }));
    std::vector<std::string> errorLines = messages.ErrorLines();
    ASSERT_EQ(errorLines.size(), 1u);  // once a minute per address
    EXPECT_NE(errorLines[0].find("TCP server: all 63 client slots were taken; closed 127.0.0.1, silent for "),
              std::string::npos)
        << errorLines[0];
}

TEST_F(IngestServerTest, FramesBecomeLinesInOrder) {
    std::unique_ptr<SendClient> client = Open();
    std::string segment;
    segment += TextFrame(1, "first\n");
    segment += Header(4, 100) + std::string("\x05\x00\x00\x00", 4);  // empty text
    segment += Header(2, 100) + "ab";                                // too short: ignored
    segment += Header(3, 99) + "xyz";                                // other types: ignored
    segment += Header(8, 101) + std::string(8, 'q');
    segment += TextFrame(33, "camera as received\n");
    segment += TextFrame(-7, "negative camera\n");
    std::string longText(5000, 'L');
    segment += TextFrame(32, longText);
    ASSERT_EQ(client->SendBytes(segment.data(), static_cast<int>(segment.size())), 1);
    // One frame in many segments: the connection stays open after all of the above.
    std::string split = TextFrame(4, "split over segments\n");
    for (size_t i = 0; i < split.size(); i += 3) {
        ASSERT_EQ(
            client->SendBytes(split.data() + i, static_cast<int>(std::min<size_t>(3, split.size() - i))), 1);
        std::this_thread::sleep_for(
            std::chrono::milliseconds(2));  // separate segments, not a timing assertion
    }
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == 6; }));
    std::vector<std::pair<int, std::string>> expected = {{1, "first\n"},
                                                         {5, ""},
                                                         {33, "camera as received\n"},
                                                         {-7, "negative camera\n"},
                                                         {32, longText.substr(0, LineRecord::kMaxText)},
                                                         {4, "split over segments\n"}};
    EXPECT_EQ(log.Lines(), expected);
}

TEST_F(IngestServerTest, FramesAtThePayloadLimit) {
    std::unique_ptr<SendClient> client = Open();
    std::string largest = TextFrame(9, std::string(kMaxFramePayload - 4, 'M'));
    ASSERT_EQ(largest.size(), static_cast<size_t>(kFrameBufferSize));
    ASSERT_EQ(client->SendBytes(largest.data(), static_cast<int>(largest.size())), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == 1; }));
    EXPECT_EQ(log.Lines()[0].second, std::string(LineRecord::kMaxText, 'M'));

    // A header announcing 16,381 payload bytes can never complete: the server closes the
    // connection instead of holding it forever.
    std::string tooLong = Header(kMaxFramePayload + 1, 100);
    ASSERT_EQ(client->SendBytes(tooLong.data(), 4), 1);
    EXPECT_EQ(client->WaitForClose(10000), 1);
    EXPECT_TRUE(WaitUntil([&] { return server->ClientCount() == 0 && log.Closed() == 1; }));
}

TEST_F(IngestServerTest, SixtyThreeClientsFlowWhileTheExcessIsRefused) {
    constexpr int kClients = 63;
    constexpr int kLines = 20;
    std::vector<std::unique_ptr<SendClient>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(Open());
    ASSERT_EQ(server->ClientCount(), kClients);

    // The 64th and 65th are closed at once; the notice is shown once for the burst, and while
    // it stays on screen the network thread goes on serving the others.
    messages.Hold();
    for (int extra = 0; extra < 2; ++extra) {
        SendClient excess;
        ASSERT_EQ(excess.Connect("127.0.0.1", port), 1);
        EXPECT_EQ(excess.OpeningExchange(10000), -1);
    }
    EXPECT_TRUE(WaitUntil([&] { return messages.Count("Error|Maximum Client( 64 )") == 1; }));

    // Every client sends a receipt, interleaved with the others.
    for (int line = 0; line < kLines; ++line) {
        for (int i = 0; i < kClients; ++i) {
            std::string text = "client " + std::to_string(i) + " line " + std::to_string(line) + "\n";
            ASSERT_EQ(clients[i]->SendTextLine(i % 32 + 1, text.data(), static_cast<int>(text.size())), 1);
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == static_cast<size_t>(kClients * kLines); }));
    std::vector<int> nextLine(kClients, 0);
    for (const auto& entry : log.Lines()) {
        int client = -1;
        int line = -1;
        ASSERT_EQ(std::sscanf(entry.second.c_str(), "client %d line %d", &client, &line), 2);
        ASSERT_GE(client, 0);
        ASSERT_LT(client, kClients);
        EXPECT_EQ(line, nextLine[client]++) << "lines of one connection arrive in order";
        EXPECT_EQ(entry.first, client % 32 + 1);
    }
    EXPECT_EQ(messages.Count("Error|Maximum Client( 64 )"), 1);
    messages.Release();
    // The notice counts as on screen until its thread has seen the box close.
    ASSERT_TRUE(WaitUntil([&] { return server->CapacityNoticeShowing() == 0; }));

    // A freed slot takes a new client, and a later burst is reported again.
    clients[10]->Close();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == kClients - 1; }));
    clients[10] = Open();
    SendClient excess;
    ASSERT_EQ(excess.Connect("127.0.0.1", port), 1);
    EXPECT_EQ(excess.OpeningExchange(10000), -1);
    EXPECT_TRUE(WaitUntil([&] { return messages.Count("Error|Maximum Client( 64 )") == 2; }));
}

// A till that never stops sending must not hold the program's shutdown.
TEST_F(IngestServerTest, StopEndsWhileAClientKeepsSending) {
    std::unique_ptr<SendClient> client = Open();
    std::atomic<bool> sending{true};
    std::thread flood([&] {
        const char line[] = "FLOOD LINE\n";
        while (sending.load() && client->SendTextLine(1, line, static_cast<int>(sizeof line - 1)) == 1) {
        }
    });
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() > 1000; }));
    server->Stop();
    sending = false;
    flood.join();
    EXPECT_EQ(messages.Count("Error|Error Server Stop"), 0);
    EXPECT_EQ(server->ClientCount(), 0);
}

TEST_F(IngestServerTest, ConnectionsKeepTheirOwnBytesWhenSlotsMove) {
    // Four clients in slots 1 to 4, each holding half a frame in its buffer.
    std::vector<std::unique_ptr<SendClient>> clients;
    std::vector<std::string> frames;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(Open());
        frames.push_back(TextFrame(i + 1, "pending " + std::to_string(i) + "\n"));
        ASSERT_EQ(clients[i]->SendBytes(frames[i].data(), 7), 1);
    }
    // The second (slot 2) closes in the middle of its frame; the last moves into its slot.
    clients[1]->Close();
    ASSERT_TRUE(WaitUntil([&] { return server->ClientCount() == 3; }));
    // A new connection takes slot 4 and starts with an empty buffer.
    std::unique_ptr<SendClient> newcomer = Open();
    ASSERT_EQ(newcomer->SendTextLine(20, "fresh\n", 6), 1);
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == 1; }));
    for (int i : {3, 0, 2}) {
        ASSERT_EQ(clients[i]->SendBytes(frames[i].data() + 7, static_cast<int>(frames[i].size()) - 7), 1);
        ASSERT_TRUE(WaitUntil([&] { return log.Lines().back().first == i + 1; }));
    }
    std::vector<std::pair<int, std::string>> expected = {
        {20, "fresh\n"}, {4, "pending 3\n"}, {1, "pending 0\n"}, {3, "pending 2\n"}};
    EXPECT_EQ(log.Lines(), expected);
}

TEST_F(IngestServerTest, ClosesAreOrderlyOrResetAndBothFreeTheSlot) {
    std::unique_ptr<SendClient> orderly = Open();
    std::unique_ptr<SendClient> reset = Open();
    // Lines sent right before an orderly close still arrive.
    for (int i = 0; i < 200; ++i) {
        std::string text = "last words " + std::to_string(i) + "\n";
        ASSERT_EQ(orderly->SendTextLine(1, text.data(), static_cast<int>(text.size())), 1);
    }
    orderly->Close();
    reset->Close(/*abort=*/true);
    EXPECT_TRUE(WaitUntil([&] { return server->ClientCount() == 0 && log.Closed() == 2; }));
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == 200; }));
    std::unique_ptr<SendClient> next = Open();
    EXPECT_EQ(server->ClientCount(), 1);
}

TEST_F(IngestServerTest, StopThenStartOnTheSamePort) {
    std::unique_ptr<SendClient> client = Open();
    EXPECT_EQ(server->Stop(), 1);
    EXPECT_EQ(server->Stop(), 1);
    EXPECT_EQ(client->WaitForClose(10000), 1);
    EXPECT_EQ(server->ClientCount(), 0);
    ASSERT_EQ(server->Start(port), 0);
    EXPECT_EQ(server->ListeningPort(), port);
    std::unique_ptr<SendClient> again = Open();
    ASSERT_EQ(again->SendTextLine(1, "back\n", 5), 1);
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == 1; }));
}

TEST_F(IngestServerTest, StartOnATakenPortShowsBindError) {
    TcpIngestServer second;
    ASSERT_EQ(second.Init(&log, ServerEventLog::Callback), 1);
    EXPECT_EQ(second.Start(port), -2);
    EXPECT_EQ(messages.Count("error|bind() error"), 1);
    EXPECT_EQ(second.ListeningPort(), 0);
    TcpIngestServer uninitialised;
    EXPECT_EQ(uninitialised.Start(0), -2);
    EXPECT_EQ(messages.Count("error|socket() error"), 1);
}

TEST_F(IngestServerTest, LinesQueuedBeforeAStopAreStillDelivered) {
    std::unique_ptr<SendClient> client = Open();
    log.CloseGate();
    for (int i = 0; i < 50; ++i) {
        std::string text = "queued " + std::to_string(i) + "\n";
        ASSERT_EQ(client->SendTextLine(1, text.data(), static_cast<int>(text.size())), 1);
    }
    ASSERT_TRUE(WaitUntil([&] { return server->QueuedLines() == 50; }));
    server->Stop();
    log.OpenGate();
    EXPECT_TRUE(WaitUntil([&] { return log.LineCount() == 50; }));
    EXPECT_EQ(log.Lines()[49].second, "queued 49\n");
}

TEST_F(IngestServerTest, LinesQueuedWhenTheServerIsDestroyedAreStillDelivered) {
    std::unique_ptr<SendClient> client = Open();
    log.CloseGate();
    for (int i = 0; i < 50; ++i) {
        std::string text = "at exit " + std::to_string(i) + "\n";
        ASSERT_EQ(client->SendTextLine(1, text.data(), static_cast<int>(text.size())), 1);
    }
    ASSERT_TRUE(WaitUntil([&] { return server->QueuedLines() == 50; }));
    std::thread destroyer([&] { server.reset(); });
    // The destructor stops the network thread first; give it time to ask the worker to end
    // while the worker is still held inside the first line.
    EXPECT_EQ(client->WaitForClose(10000), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    log.OpenGate();
    destroyer.join();
    EXPECT_EQ(log.LineCount(), 50u);
}

TEST_F(IngestServerTest, AFullQueueHoldsTheSendersInsteadOfDroppingLines) {
    constexpr int kLines = 3 * TcpIngestServer::kQueueCapacity;
    std::unique_ptr<SendClient> client = Open();
    log.CloseGate();
    bool sentAll = false;
    std::thread sender([&] {
        bool ok = true;
        for (int i = 0; i < kLines && ok; ++i) {
            std::string text = "held " + std::to_string(i) + "\n";
            ok = client->SendTextLine(7, text.data(), static_cast<int>(text.size())) == 1;
        }
        sentAll = ok;
    });
    ASSERT_TRUE(WaitUntil([&] { return server->QueuedLines() == TcpIngestServer::kQueueCapacity; }));
    log.OpenGate();
    sender.join();
    EXPECT_TRUE(sentAll);
    ASSERT_TRUE(WaitUntil([&] { return log.LineCount() == static_cast<size_t>(kLines); }));
    std::vector<std::pair<int, std::string>> lines = log.Lines();
    for (int i = 0; i < kLines; ++i)
        ASSERT_EQ(lines[i].second, "held " + std::to_string(i) + "\n");
}

// A server whose first frame holds the network thread, as a stuck handler would.
class HeldServer : public TcpServer {
  public:
    ~HeldServer() override {
        Release();
        WaitForNetworkThreads();
    }
    void OnFrame(FrameBuffer& frame) override {
        std::unique_lock<std::mutex> guard(lock);
        if (++frames == 1)
            released.wait(guard, [this] { return !held; });
    }
    void Release() {
        {
            std::lock_guard<std::mutex> guard(lock);
            held = false;
        }
        released.notify_all();
    }
    int Frames() {
        std::lock_guard<std::mutex> guard(lock);
        return frames;
    }

  private:
    std::mutex lock;
    std::condition_variable released;
    bool held = true;
    int frames = 0;
};

TEST(LateNetworkThreadTest, AThreadThatOutlivesStopNeverSharesTheNextRunsTable) {
    MessageRecorder messages;
    HeldServer server;
    ASSERT_EQ(server.Init(nullptr, nullptr), 1);
    server.SetStopWait(20);
    ASSERT_EQ(server.Start(0), 0);
    int firstPort = server.ListeningPort();
    SendClient stuck;
    ASSERT_EQ(stuck.Connect("127.0.0.1", firstPort), 1);
    ASSERT_TRUE(WaitUntil([&] { return server.ClientCount() == 1; }));
    ASSERT_EQ(stuck.SendBytes(Header(0, 1).data(), 4), 1);
    ASSERT_TRUE(WaitUntil([&] { return server.Frames() == 1; }));

    EXPECT_EQ(server.Stop(), 1);
    EXPECT_EQ(messages.Count("Error|Error Server Stop"), 1);
    EXPECT_EQ(server.ClientCount(), 0);

    // The late thread still holds its listener and client; the new run has a table of its own.
    ASSERT_EQ(server.Start(0), 0);
    SendClient fresh;
    ASSERT_EQ(fresh.Connect("127.0.0.1", server.ListeningPort()), 1);
    ASSERT_TRUE(WaitUntil([&] { return server.ClientCount() == 1; }));
    ASSERT_EQ(fresh.SendBytes(Header(0, 1).data(), 4), 1);
    ASSERT_TRUE(WaitUntil([&] { return server.Frames() == 2; }));

    // Let the late thread go: it ends, closing only its own connection.
    server.Release();
    EXPECT_EQ(stuck.WaitForClose(10000), 1);
    ASSERT_EQ(fresh.SendBytes(Header(0, 1).data(), 4), 1);
    EXPECT_TRUE(WaitUntil([&] { return server.Frames() == 3; }));
    EXPECT_EQ(server.ClientCount(), 1);
    server.Stop();
    EXPECT_EQ(fresh.WaitForClose(10000), 1);
}

}  // namespace
