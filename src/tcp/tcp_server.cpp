#include "tcp/tcp_server.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "platform/os.h"

using namespace zamri;

namespace {

constexpr int kListenBacklog = 5;
constexpr int kStopWaits = 5;
// How long a stop goes on reading what the clients had sent before it.
constexpr int kStopDrainMilliseconds = 500;

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

// One run of the network thread, from Start to the thread's end.
struct TcpServer::NetworkRun {
    std::atomic<int> stopRequested{0};
    int slotCount = 0;
    SocketHandle sockets[kMaxSocketSlots];
    SocketWaitSet events;
    ClientBuffer buffers[kMaxSocketSlots];
    // Each connection's peer address, kept from the accept: a reset peer has none to ask for.
    char peers[kMaxSocketSlots][kAddressTextSize] = {};
    // Whether this run still reports its client count (not after Stop has let it go).
    bool counted = true;
    // The refusal notice is shown once per burst: from the first refused connection until a
    // slot frees up again.
    bool capacityReported = false;

    std::thread thread;
    std::mutex endLock;
    std::condition_variable endSignal;
    bool ended = false;

    NetworkRun() {
        for (SocketHandle& socket : sockets)
            socket = kInvalidSocket;
    }
    bool WaitEnded(int milliseconds) {
        std::unique_lock<std::mutex> guard(endLock);
        return endSignal.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return ended; });
    }
};

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
    if (run == nullptr || !run->events.IsReady())
        return FailStart(kInvalidSocket, "socket() error");
    SocketHandle listener = SocketOpenStream();
    if (listener == kInvalidSocket)
        return FailStart(kInvalidSocket, "socket() error");
    if (!SocketBindAddress(listener, listenAddress, port))
        return FailStart(listener, "bind() error");
    if (!run->events.Attach(0, listener, 1))
        return FailStart(listener, "socket() error");
    if (!SocketListen(listener, kListenBacklog))
        return FailStart(listener, "socket() error");
    run->sockets[0] = listener;
    run->slotCount = 1;
    listeningPort = SocketLocalPort(listener);
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
    run->events.Wake();
    {
        std::lock_guard<std::mutex> guard(countLock);
        run->counted = false;
        clientCount = 0;
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
        // The late thread keeps its own table and stop flag and ends on its own.
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
        int first = run.events.Wait(run.slotCount);
        if (first < 0) {
            SleepMilliseconds(10);  // a failing wait must not spin
            continue;
        }
        for (int i = first; i < run.slotCount; ++i) {
            if (run.stopRequested.load())
                break;
            NetworkEvents found;
            if (!run.events.Take(i, run.sockets[i], &found))
                continue;
            if (found.accept) {
                if (found.acceptError != 0)
                    break;
                AcceptClient(run);
            }
            if (i == 0)
                continue;
            bool remove = false;
            bool drain = false;
            if (found.read) {
                // A read that reports an error means the connection broke: remove it.
                if (found.readError != 0 || ReceiveFrom(run.sockets[i], run.buffers[i]) == kReceiveBroken) {
                    remove = true;
                }
            }
            if (found.close) {
                remove = true;
                drain = found.closeError == 0;  // an orderly close may leave bytes to read
            }
            if (remove)
                RemoveClient(run, i, drain);
        }
    }
    // Bytes that had arrived before the stop still become lines, but a sender that keeps on
    // sending cannot hold the stop: the drain ends at a deadline. Then every slot's socket
    // closes here (the notification objects go with the run).
    const auto drainEnd =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopDrainMilliseconds);
    for (int i = 1; i < run.slotCount; ++i) {
        while (std::chrono::steady_clock::now() < drainEnd &&
               ReceiveOnce(run.sockets[i], run.buffers[i]) > 0) {
            if (DeliverFrames(run.buffers[i]) == kReceiveBroken)
                break;
        }
    }
    for (int i = 0; i < run.slotCount; ++i) {
        SocketClose(run.sockets[i]);
        run.sockets[i] = kInvalidSocket;
        run.buffers[i].used = 0;
    }
    run.slotCount = 0;
}

void TcpServer::AcceptClient(NetworkRun& run) {
    if (run.slotCount >= kMaxSocketSlots) {
        RefuseClient(run);
        return;
    }
    char peer[kAddressTextSize] = "0.0.0.0";
    SocketHandle accepted = SocketAccept(run.sockets[0], peer, sizeof peer);
    if (accepted == kInvalidSocket)
        return;
    if (!allowedSenders.Allows(peer)) {
        SocketClose(accepted);
        RefuseSender(peer);
        return;
    }
    if (!OnAccept(accepted)) {
        SocketClose(accepted);
        return;
    }
    int slot = run.slotCount;
    if (!run.events.Attach(slot, accepted, 0)) {
        SocketClose(accepted);
        return;
    }
    run.sockets[slot] = accepted;
    run.buffers[slot].used = 0;
    std::memcpy(run.peers[slot], peer, sizeof peer);
    ++run.slotCount;
    SetClientCount(run);
    Notify(EVT_CLIENT_CONNECTED, reinterpret_cast<intptr_t>(peer), nullptr);
}

void TcpServer::SetSenderRules(const char* address, const char* allowed) {
    std::snprintf(listenAddress, sizeof listenAddress, "%s", address != nullptr ? address : "");
    std::string rejected;
    allowedSenders.Parse(allowed, &rejected);
    if (!rejected.empty()) {
        std::string line =
            "zamri: TCP server: allowed senders: ignored what is not an IPv4 address or block: ";
        WriteErrorLine((line + rejected).c_str());
    }
}

void TcpServer::RefuseSender(const char* peer) {
    ++refusedSenders;
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    if (!refusals.Refused(peer, now))
        return;
    char line[160];
    std::snprintf(line, sizeof line,
                  "zamri: TCP server: refused %s, not an allowed sender (%llu refused so far)", peer,
                  static_cast<unsigned long long>(refusedSenders.load()));
    WriteErrorLine(line);
}

void TcpServer::SetClientCount(NetworkRun& run) {
    std::lock_guard<std::mutex> guard(countLock);
    if (run.counted)
        clientCount = run.slotCount - 1;
}

void TcpServer::RefuseClient(NetworkRun& run) {
    // Closing the excess connection at once keeps the backlog moving and the others flowing.
    char peer[kAddressTextSize];
    SocketHandle accepted = SocketAccept(run.sockets[0], peer, sizeof peer);
    if (accepted != kInvalidSocket)
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

void TcpServer::RemoveClient(NetworkRun& run, int slot, bool drain) {
    if (drain) {
        // Bytes that arrived before the close still belong to the stream.
        while (ReceiveOnce(run.sockets[slot], run.buffers[slot]) > 0) {
            if (DeliverFrames(run.buffers[slot]) == kReceiveBroken)
                break;
        }
    }
    Notify(EVT_CLIENT_CLOSED, reinterpret_cast<intptr_t>(run.peers[slot]), nullptr);
    SocketClose(run.sockets[slot]);
    run.events.Detach(slot);
    run.buffers[slot].used = 0;
    --run.slotCount;
    int last = run.slotCount;
    if (last > 1 && slot != last) {
        // The last connection takes the freed slot with its socket, notification and bytes.
        run.sockets[slot] = run.sockets[last];
        std::memcpy(run.peers[slot], run.peers[last], sizeof run.peers[slot]);
        run.events.Move(last, slot);
        ClientBuffer& to = run.buffers[slot];
        ClientBuffer& from = run.buffers[last];
        std::memcpy(to.data, from.data, static_cast<size_t>(from.used));
        to.used = from.used;
        from.used = 0;
    }
    run.sockets[last] = kInvalidSocket;
    run.capacityReported = false;
    SetClientCount(run);
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
        OnFrame(frame);
        offset += total;
    }
    if (offset > 0) {
        clientBuffer.used -= offset;
        std::memmove(clientBuffer.data, clientBuffer.data + offset, static_cast<size_t>(clientBuffer.used));
    }
    return result;
}

int TcpServer::RecvExact(SocketHandle socket, void* buffer, int n, int timeoutMilliseconds) {
    if (socket == kInvalidSocket)
        return -2;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    unsigned char* out = static_cast<unsigned char*>(buffer);
    int have = 0;
    while (have < n) {
        int got = SocketReceive(socket, out + have, n - have);
        if (got > 0) {
            have += got;
            continue;
        }
        if (got == 0 || !SocketWouldBlock())
            return -1;
        if (timeoutMilliseconds == kNoTimeout) {
            SocketWaitReadable(socket, 10);
            continue;
        }
        int left = MillisecondsLeft(deadline);
        if (left == 0)
            return -1;
        SocketWaitReadable(socket, left < 10 ? left : 10);
    }
    return n;
}

int TcpServer::SendAll(SocketHandle socket, const void* data, int n, int timeoutMilliseconds) {
    if (socket == kInvalidSocket)
        return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    const unsigned char* in = static_cast<const unsigned char*>(data);
    int sent = 0;
    while (sent < n) {
        int done = SocketSend(socket, in + sent, n - sent);
        if (done >= 0) {
            sent += done;
            continue;
        }
        if (!SocketWouldBlock())
            return -1;
        if (timeoutMilliseconds != kNoTimeout && MillisecondsLeft(deadline) == 0)
            return -1;
        SleepMilliseconds(1);
    }
    return sent;
}
