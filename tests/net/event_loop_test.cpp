// The event loop as the other network fronts use it: a listener, an outgoing connection whose
// connect ends with a write event, a sender that fills the socket under write watch, and
// deadlines that the loop keeps without any blocking call.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "net/event_loop.h"

using namespace zamri;

namespace {

using Clock = std::chrono::steady_clock;

// Turns the loop until the condition holds; false after a generous bound.
template <class Condition>
bool TurnUntil(EventLoop& loop, Condition condition) {
    auto end = Clock::now() + std::chrono::seconds(15);
    while (!condition()) {
        if (Clock::now() > end)
            return false;
        loop.RunOnce(100);
    }
    return true;
}

struct Echo : LoopHandler {
    std::string* received;
    explicit Echo(std::string* received) : received(received) {}
    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        char bytes[4096];
        int got;
        while ((got = SocketReceive(loop.Socket(id), bytes, sizeof bytes)) > 0)
            received->append(bytes, static_cast<size_t>(got));
        if (got == 0 || events.close)
            loop.Remove(id);
    }
};

struct Accepting : LoopHandler {
    std::string* received;
    int accepted = 0;
    explicit Accepting(std::string* received) : received(received) {}
    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        char peer[kAddressTextSize];
        SocketHandle socket;
        while ((socket = SocketAccept(loop.Socket(id), peer, sizeof peer)) != kInvalidSocket) {
            ++accepted;
            loop.Add(socket, kWatchRead, std::unique_ptr<LoopHandler>(new Echo(received)));
        }
    }
};

// Connects, then sends a large block under write watch, then closes.
struct Outgoing : LoopHandler {
    std::string pending;
    int connected = -1;  // 1 connected, 0 failed
    size_t sent = 0;
    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        if (!events.write)
            return;
        if (connected < 0)
            connected = events.writeError == 0 ? 1 : 0;
        if (connected == 0) {
            loop.Remove(id);
            return;
        }
        while (sent < pending.size()) {
            int done =
                SocketSend(loop.Socket(id), pending.data() + sent, static_cast<int>(pending.size() - sent));
            if (done <= 0)
                return;  // full: the next write event continues
            sent += static_cast<size_t>(done);
        }
        loop.Remove(id);  // all sent: an orderly close
    }
};

struct Timed : LoopHandler {
    int* fired;
    explicit Timed(int* fired) : fired(fired) {}
    void OnEvents(EventLoop&, int, const NetworkEvents&) override {}
    void OnDeadline(EventLoop& loop, int id) override {
        ++*fired;
        loop.Remove(id);
    }
};

// Holds a socket in a slot and ignores it.
struct Idle : LoopHandler {
    void OnEvents(EventLoop&, int, const NetworkEvents&) override {}
};

class EventLoopTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(SocketStartup(), 1); }
    void TearDown() override { SocketCleanup(); }
};

TEST_F(EventLoopTest, OutgoingConnectionSendsMoreThanTheSocketTakesAtOnce) {
    EventLoop loop;
    ASSERT_EQ(loop.IsReady(), 1);
    std::string received;
    SocketHandle listener = SocketOpenStream();
    ASSERT_TRUE(SocketBindAny(listener, 0) && SocketListen(listener, 16));
    int port = SocketLocalPort(listener);
    ASSERT_GE(loop.Add(listener, kWatchAccept, std::unique_ptr<LoopHandler>(new Accepting(&received))), 0);

    auto* outgoing = new Outgoing;
    for (int i = 0; outgoing->pending.size() < (4u << 20); ++i)
        outgoing->pending += "block " + std::to_string(i) + "\n";
    std::string expected = outgoing->pending;
    SocketHandle socket = SocketOpenStream();
    int id = loop.Add(socket, kWatchRead | kWatchWrite, std::unique_ptr<LoopHandler>(outgoing));
    ASSERT_GE(id, 0);
    ASSERT_GE(SocketConnectBegin(socket, "127.0.0.1", port), 0);
    ASSERT_TRUE(TurnUntil(loop, [&] { return received.size() == expected.size() && loop.Count() == 1; }));
    EXPECT_EQ(received, expected);

    // A connect that nobody answers ends with a failed write event, not a hang.
    SocketHandle closedPort = SocketOpenStream();
    ASSERT_TRUE(SocketBindAny(closedPort, 0));
    int nobody = SocketLocalPort(closedPort);
    auto* refused = new Outgoing;
    SocketHandle lonely = SocketOpenStream();
    ASSERT_GE(loop.Add(lonely, kWatchRead | kWatchWrite, std::unique_ptr<LoopHandler>(refused)), 0);
    int begun = SocketConnectBegin(lonely, "127.0.0.1", nobody);
    if (begun == 0) {
        int count = loop.Count();
        ASSERT_TRUE(TurnUntil(loop, [&] { return loop.Count() == count - 1; }));
    } else {
        EXPECT_EQ(begun, -1);
    }
    SocketClose(closedPort);
}

// Reads what its connection sends, then once sends bytes on another socket and lets them land.
struct Trigger : LoopHandler {
    SocketHandle sendOn;
    std::string bytes;
    void OnEvents(EventLoop& loop, int id, const NetworkEvents&) override {
        char drain[64];
        while (SocketReceive(loop.Socket(id), drain, sizeof drain) > 0) {
        }
        if (!bytes.empty()) {
            SocketSend(sendOn, bytes.data(), static_cast<int>(bytes.size()));
            bytes.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // announced before slot 64 is asked
        }
    }
};

// With more than 64 sockets, two slots share one notification object on Windows (slots 0 and
// 64 here). Bytes that reach slot 0 while the loop is still asking the sockets after it, slot
// 64 among them, must still wake the next wait.
TEST_F(EventLoopTest, BytesArrivingDuringATurnAreServedWhenTheirSlotIsShared) {
    EventLoop loop;
    std::string received;
    SocketHandle listener = SocketOpenStream();
    ASSERT_TRUE(SocketBindAny(listener, 0) && SocketListen(listener, 16));
    int port = SocketLocalPort(listener);
    char peer[kAddressTextSize];
    SocketHandle till = SocketConnect("127.0.0.1", port);
    ASSERT_EQ(SocketWaitReadable(listener, 10000), 1);
    ASSERT_EQ(loop.Add(SocketAccept(listener, peer, sizeof peer), kWatchRead,
                       std::unique_ptr<LoopHandler>(new Echo(&received))),
              0);
    SocketHandle other = SocketConnect("127.0.0.1", port);
    ASSERT_EQ(SocketWaitReadable(listener, 10000), 1);
    auto* trigger = new Trigger;
    trigger->sendOn = till;
    ASSERT_EQ(loop.Add(SocketAccept(listener, peer, sizeof peer), kWatchRead,
                       std::unique_ptr<LoopHandler>(trigger)),
              1);
    for (int slot = 2; slot <= 64; ++slot)
        ASSERT_EQ(
            loop.Add(SocketOpenStream(), slot == 64 ? kWatchRead : 0, std::unique_ptr<LoopHandler>(new Idle)),
            slot);
    // The trigger in slot 1 sends the till's late bytes after slot 0 was asked, before slot 64.
    ASSERT_EQ(SocketSend(till, "first ", 6), 6);
    ASSERT_EQ(SocketSend(other, "go", 2), 2);
    trigger->bytes = "late ";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // both announced before the turn
    ASSERT_TRUE(TurnUntil(loop, [&] { return received == "first late "; })) << received;
    SocketClose(till);
    SocketClose(other);
    SocketClose(listener);
}

TEST_F(EventLoopTest, DeadlinesFireInOrderWithoutTraffic) {
    EventLoop loop;
    int fired = 0;
    auto start = Clock::now();
    int ids[3];
    for (int i = 0; i < 3; ++i) {
        ids[i] = loop.Add(SocketOpenStream(), kWatchRead, std::unique_ptr<LoopHandler>(new Timed(&fired)));
        ASSERT_GE(ids[i], 0);
    }
    loop.SetDeadline(ids[0], start + std::chrono::milliseconds(50));
    loop.SetDeadline(ids[1], start + std::chrono::milliseconds(150));
    // The third never fires: its deadline is taken back.
    loop.SetDeadline(ids[2], start + std::chrono::milliseconds(100));
    loop.ClearDeadline(ids[2]);
    ASSERT_TRUE(TurnUntil(loop, [&] { return fired == 1; }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_EQ(loop.Handler(ids[0]), nullptr);
    ASSERT_TRUE(TurnUntil(loop, [&] { return fired == 2; }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
    // With no deadline left, a turn returns only when woken or at its own limit.
    loop.Wake();
    EXPECT_EQ(loop.RunOnce(-1), 1);
    EXPECT_EQ(loop.Count(), 1);
    EXPECT_EQ(fired, 2);
}

}  // namespace
