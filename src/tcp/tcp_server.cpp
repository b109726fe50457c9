#include "tcp/tcp_server.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <thread>

#include "net/event_loop.h"
#include "platform/os.h"

using namespace zamri;

namespace {

constexpr int kStopWaits = 5;
// How long a stop goes on reading what the clients had sent before it.
constexpr int kStopDrainMilliseconds = 500;

using Clock = std::chrono::steady_clock;

// Per thread: a network thread that outlived Stop may cut frames while the next one runs.
thread_local const char* framePeer = "";

}  // namespace

// One run of the network thread, from Start to the thread's end.
struct TcpServer::NetworkRun {
    std::atomic<int> stopRequested{0};
    EventLoop loop;
    int listenerId = -1;
    int clients = 0;
    int opening = 0;
    // Whether this run still reports its counts (not after Stop has let it go).
    bool counted = true;
    // The refusal notice is shown once per burst: from the first refused connection until a
    // slot frees up again.
    bool capacityReported = false;

    std::thread thread;
    std::mutex endLock;
    std::condition_variable endSignal;
    bool ended = false;

    bool WaitEnded(int milliseconds) {
        std::unique_lock<std::mutex> guard(endLock);
        return endSignal.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return ended; });
    }
};

// The listening socket: accepts every pending connection at each readiness, so a burst of
// tills gets in side by side.
class TcpServer::Listener : public LoopHandler {
  public:
    Listener(TcpServer& server, NetworkRun& run) : server(server), run(run) {}
    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        if (!events.accept || events.acceptError != 0)
            return;
        // Bounded, so that a flood of connections still leaves the loop time for the others.
        for (int n = 0; n < EventLoop::kCapacity && !run.stopRequested.load(); ++n) {
            if (!server.AcceptClient(run))
                break;
        }
    }
    void OnDeadline(EventLoop&, int) override {}

  private:
    TcpServer& server;
    NetworkRun& run;
};

// One connection: first in its opening exchange, then a client whose bytes become frames.
class TcpServer::Connection : public LoopHandler {
  public:
    Connection(TcpServer& server, NetworkRun& run, const char* address) : server(server), run(run) {
        std::memcpy(peer, address, sizeof peer);
        peer[sizeof peer - 1] = 0;
    }
    ~Connection() override { Leave(); }

    // Gives back the connection's place in the counts, at once rather than when the loop frees
    // the handler, so a newcomer in the same turn finds the slot free.
    void Leave() {
        if (left)
            return;
        left = true;
        if (admitted)
            --run.clients;
        else
            --run.opening;
        server.SetClientCount(run);
    }

    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        if (!admitted) {
            if (events.read && events.readError == 0)
                Decide(loop, id, server.OnOpeningBytes(loop.Socket(id), opening));
            else if (events.close || events.readError != 0)
                loop.Remove(id);  // gone before it was a client: nobody was told of it
            return;
        }
        if (events.read && events.readError == 0)
            silence.Heard();
        bool remove = false;
        bool drain = false;
        // A read that reports an error means the connection broke: remove it.
        if (events.read &&
            (events.readError != 0 || server.ReceiveFrom(loop.Socket(id), *buffer) == kReceiveBroken)) {
            remove = true;
        }
        if (events.close) {
            remove = true;
            drain = events.closeError == 0;  // an orderly close may leave bytes to read
        }
        if (remove)
            Close(loop, id, drain);
    }

    // The opening exchange did not end in time.
    void OnDeadline(EventLoop& loop, int id) override {
        if (!admitted) {
            server.NoteRefused(peer);
            loop.Remove(id);
        }
    }

    // Acts on a step's result.
    void Decide(EventLoop& loop, int id, int result) {
        if (result == kOpeningGoesOn)
            return;
        if (result != kAdmit) {
            server.NoteRefused(peer);
            loop.Remove(id);
            return;
        }
        if (run.clients >= kMaxSocketSlots - 1) {
            int64_t silentFor = 0;
            int idle = server.IdleClient(run, &silentFor);
            if (idle < 0) {
                // The table is full of clients that are not idle: refused as a 64th client.
                server.NoteRefused(peer);
                server.RefuseClient(run, kInvalidSocket);
                loop.Remove(id);
                return;
            }
            server.ReplaceIdleClient(run, idle, silentFor, peer);
        }
        buffer.reset(new (std::nothrow) ClientBuffer);
        if (buffer == nullptr || !server.OnAdmit(loop.Socket(id))) {
            loop.Remove(id);
            return;
        }
        std::memcpy(buffer->peer, peer, sizeof buffer->peer);
        loop.ClearDeadline(id);
        admitted = true;
        silence.Heard();
        --run.opening;
        ++run.clients;
        server.SetClientCount(run);
        server.Notify(EVT_CLIENT_CONNECTED, reinterpret_cast<intptr_t>(peer), nullptr);
    }

    // Ends a client's connection, reading first what arrived before an orderly close. A slot
    // that a newcomer takes over at once does not count as freed for the refusal notice.
    void Close(EventLoop& loop, int id, bool drain, bool slotFreed = true) {
        if (drain) {
            while (server.ReceiveOnce(loop.Socket(id), *buffer) > 0) {
                if (server.DeliverFrames(*buffer) == kReceiveBroken)
                    break;
            }
        }
        server.Notify(EVT_CLIENT_CLOSED, reinterpret_cast<intptr_t>(peer), nullptr);
        if (slotFreed)
            run.capacityReported = false;
        Leave();
        loop.Remove(id);
    }

    // A stop reads what had arrived until the drain's end.
    void Drain(SocketHandle socket, Clock::time_point end) {
        if (!admitted)
            return;
        while (Clock::now() < end && server.ReceiveOnce(socket, *buffer) > 0) {
            if (server.DeliverFrames(*buffer) == kReceiveBroken)
                break;
        }
    }

    bool Admitted() const { return admitted; }
    // A client that may give its slot to a newcomer has this; others have none.
    Silence* ClientSilence() { return admitted && !left ? &silence : nullptr; }
    const char* Peer() const { return peer; }
    Clock::time_point OpenedAt() const { return openedAt; }
    OpeningState opening;

  private:
    TcpServer& server;
    NetworkRun& run;
    char peer[kAddressTextSize] = {};
    bool admitted = false;
    bool left = false;
    Clock::time_point openedAt = Clock::now();
    Silence silence;
    // Allocated on admission: a connection in its exchange holds no frame buffer.
    std::unique_ptr<ClientBuffer> buffer;
};

const char* TcpServer::FramePeer() {
    return framePeer;
}

SocketBase::~SocketBase() {
    if (socketsReady.load())
        SocketCleanup();
}

int SocketBase::Init(void* newOwner, ServerEventFn callback) {
    if (socketsReady.load()) {
        owner = newOwner;
        eventCallback = callback;
        return 1;
    }
    if (!SocketStartup())
        return 0;
    socketsReady = 1;
    owner = newOwner;
    eventCallback = callback;
    return 1;
}

void SocketBase::Notify(int code, intptr_t arg, char* text) {
    ServerEventFn callback = eventCallback.load();
    if (callback != nullptr)
        callback(owner.load(), code, arg, text);
}

TcpServer::TcpServer() : noticeShowing(std::make_shared<std::atomic<int>>(0)) {}

TcpServer::~TcpServer() {
    // The owner stops the server before it destroys it; a derived class has already waited
    // for its network threads. This is the last guard for a bare TcpServer.
    Stop();
    WaitForNetworkThreads();
}

void TcpServer::WaitForNetworkThreads() {
    while (liveNetworkThreads.load() != 0)
        SleepMilliseconds(10);
}

int TcpServer::FailStart(SocketHandle socket, const char* message) {
    SocketClose(socket);
    ShowMessage(message, "error", kMsgIconError);
    return -2;
}

int TcpServer::Start(int port) {
    Stop();  // callers always stop first; this keeps a forgotten Stop from leaking a thread
    if (!socketsReady.load())
        return FailStart(kInvalidSocket, "socket() error");
    std::shared_ptr<NetworkRun> run(new (std::nothrow) NetworkRun);
    if (run == nullptr || !run->loop.IsReady())
        return FailStart(kInvalidSocket, "socket() error");
    SocketHandle listener = SocketOpenStream();
    if (listener == kInvalidSocket)
        return FailStart(kInvalidSocket, "socket() error");
    if (!SocketBindAddress(listener, listenAddress, port))
        return FailStart(listener, "bind() error");
    if (!SocketListen(listener, kListenBacklog))
        return FailStart(listener, "socket() error");
    int localPort = SocketLocalPort(listener);
    run->listenerId =
        run->loop.Add(listener, kWatchAccept, std::unique_ptr<LoopHandler>(new Listener(*this, *run)));
    if (run->listenerId < 0)
        return FailStart(kInvalidSocket, "socket() error");  // the loop closed the listener
    listeningPort = localPort;
    ++liveNetworkThreads;
    run->thread = std::thread(&TcpServer::NetworkThreadMain, this, run);
    networkThread = run;
    return 0;
}

int TcpServer::Stop() {
    std::shared_ptr<NetworkRun> run = std::move(networkThread);
    networkThread.reset();
    if (run == nullptr)
        return 1;
    run->stopRequested = 1;
    run->loop.Wake();
    {
        std::lock_guard<std::mutex> guard(countLock);
        run->counted = false;
        clientCount = 0;
        openingCount = 0;
    }
    bool ended = false;
    for (int attempt = 0; attempt < kStopWaits && !ended; ++attempt) {
        std::this_thread::yield();
        ended = run->WaitEnded(stopWait.load());
    }
    listeningPort = 0;
    if (ended) {
        run->thread.join();
    } else {
        // The late thread keeps its own loop and stop flag and ends on its own.
        run->thread.detach();
        ShowMessage("Error Server Stop", "Error", kMsgIconError);
    }
    return 1;
}

void TcpServer::NetworkThreadMain(TcpServer* server, std::shared_ptr<NetworkRun> run) {
    server->NetworkLoop(*run);
    {
        std::lock_guard<std::mutex> guard(run->endLock);
        run->ended = true;
    }
    run->endSignal.notify_all();
    run.reset();
    --server->liveNetworkThreads;  // the last touch of the server
}

void TcpServer::NetworkLoop(NetworkRun& run) {
    while (!run.stopRequested.load()) {
        if (run.loop.RunOnce() < 0)
            SleepMilliseconds(10);  // a failing wait must not spin
    }
    // Bytes that had arrived before the stop still become lines, but a sender that keeps on
    // sending cannot hold the stop: the drain ends at a deadline. Then every socket closes
    // here, the listener's too.
    const Clock::time_point drainEnd = Clock::now() + std::chrono::milliseconds(kStopDrainMilliseconds);
    for (int id = 0; id < run.loop.IdBound(); ++id) {
        if (id != run.listenerId && run.loop.Handler(id) != nullptr)
            static_cast<Connection*>(run.loop.Handler(id))->Drain(run.loop.Socket(id), drainEnd);
    }
    run.loop.Clear();
}

void TcpServer::SetSenderRules(const char* address, const char* allowed) {
    std::snprintf(listenAddress, sizeof listenAddress, "%s", address != nullptr ? address : "");
    gate.SetAllowedSenders(allowed);
}

int TcpServer::AcceptClient(NetworkRun& run) {
    char peer[kAddressTextSize] = "0.0.0.0";
    bool refused = false;
    SocketHandle accepted = gate.Accept(run.loop.Socket(run.listenerId), peer, sizeof peer, &refused);
    if (accepted == kInvalidSocket)
        return refused ? 1 : 0;
    // A full table still lets a newcomer try the exchange when a client is idle enough to give
    // way; the slot changes hands only once the newcomer has passed it.
    if (run.clients >= kMaxSocketSlots - 1 && IdleClient(run) < 0) {
        NoteRefused(peer);
        RefuseClient(run, accepted);
        return 1;
    }
    if (run.opening >= kMaxOpening)
        CloseOldestOpening(run);
    std::unique_ptr<Connection> made(new (std::nothrow) Connection(*this, run, peer));
    if (made == nullptr) {
        SocketClose(accepted);
        return 1;
    }
    Connection* connection = made.get();
    ++run.opening;  // the connection's destructor takes it back, whatever becomes of it
    int id = run.loop.Add(accepted, kWatchRead, std::move(made));
    SetClientCount(run);
    if (id < 0)
        return 1;
    int timeout = OpeningTimeout();
    if (timeout != kNoTimeout)
        run.loop.SetDeadline(id, Clock::now() + std::chrono::milliseconds(timeout));
    connection->Decide(run.loop, id, OnOpen(accepted, connection->opening));
    return 1;
}

void TcpServer::CloseOldestOpening(NetworkRun& run) {
    // A till answers within milliseconds, so the connection that has waited longest is the
    // one least likely to be one.
    int oldest = -1;
    Clock::time_point oldestAt = Clock::time_point::max();
    for (int id = 0; id < run.loop.IdBound(); ++id) {
        if (id == run.listenerId || run.loop.Handler(id) == nullptr)
            continue;
        auto* connection = static_cast<Connection*>(run.loop.Handler(id));
        if (!connection->Admitted() && connection->OpenedAt() < oldestAt) {
            oldest = id;
            oldestAt = connection->OpenedAt();
        }
    }
    run.loop.Remove(oldest);
}

int TcpServer::IdleClient(NetworkRun& run, int64_t* silentFor) {
    return LongestSilent(
        run.loop, gate.IdleLimitMilliseconds(),
        [&](int id) -> Silence* {
            if (id == run.listenerId)
                return nullptr;
            return static_cast<Connection*>(run.loop.Handler(id))->ClientSilence();
        },
        silentFor);
}

void TcpServer::ReplaceIdleClient(NetworkRun& run, int id, int64_t silentFor, const char* newcomer) {
    auto* client = static_cast<Connection*>(run.loop.Handler(id));
    gate.NoteReplaced(client->Peer(), silentFor, newcomer, "all 63 client slots were taken");
    client->Close(run.loop, id, true, false);
}

void TcpServer::SetClientCount(NetworkRun& run) {
    std::lock_guard<std::mutex> guard(countLock);
    if (run.counted) {
        clientCount = run.clients;
        openingCount = run.opening;
    }
}

void TcpServer::RefuseClient(NetworkRun& run, SocketHandle accepted) {
    // Closing the excess connection at once keeps the backlog moving and the others flowing.
    SocketClose(accepted);
    if (!run.capacityReported) {
        run.capacityReported = true;
        ShowCapacityNotice();
    }
}

void TcpServer::ShowCapacityNotice() {
    std::lock_guard<std::mutex> guard(noticeLock);
    if (noticeShowing->load())
        return;  // a box is still open
    *noticeShowing = 1;
    std::shared_ptr<std::atomic<int>> showing = noticeShowing;
    std::thread([showing] {
        ShowMessage("Maximum Client( 64 )", "Error", kMsgIconError);
        *showing = 0;
    }).detach();
}

int TcpServer::ReceiveOnce(SocketHandle socket, ClientBuffer& clientBuffer) {
    int room = kFrameBufferSize - clientBuffer.used;
    if (room <= 0)
        return kReceiveBroken - 1;
    int got = SocketReceive(socket, clientBuffer.data + clientBuffer.used, room);
    if (got > 0)
        clientBuffer.used += got;
    return got;
}

int TcpServer::ReceiveFrom(SocketHandle socket, ClientBuffer& clientBuffer) {
    int got = ReceiveOnce(socket, clientBuffer);
    if (got == kReceiveBroken - 1)
        return kReceiveBroken;
    if (got < 0)
        return 0;
    return DeliverFrames(clientBuffer);
}

int TcpServer::DeliverFrames(ClientBuffer& clientBuffer) {
    FrameBuffer frame;
    int offset = 0;
    int result = 1;
    while (clientBuffer.used - offset >= kFrameHeaderSize) {
        const unsigned char* front = clientBuffer.data + offset;
        int total = GetUInt16(front) + kFrameHeaderSize;
        if (total > kFrameBufferSize) {
            // This header can never complete within the buffer: nothing more can come through.
            result = kReceiveBroken;
            break;
        }
        if (clientBuffer.used - offset < total)
            break;
        frame.Load(front, total);
        framePeer = clientBuffer.peer;
        OnFrame(frame);
        framePeer = "";
        offset += total;
    }
    if (offset > 0) {
        clientBuffer.used -= offset;
        std::memmove(clientBuffer.data, clientBuffer.data + offset, static_cast<size_t>(clientBuffer.used));
    }
    return result;
}
