#include "netsource/network_capture.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "netsource/printer_relay.h"
#include "platform/os.h"

using namespace zamri;
using network_capture::kReadsPerEvent;
using network_capture::kReceiveBytes;

namespace {

constexpr int kListenBacklog = kMaxSocketSlots;
constexpr int kLookupPollMilliseconds = 20;  // how often a running name lookup is asked for its answer

}  // namespace

// ---------------------------------------------------------------------------------------------
// Handlers

class NetworkCapture::ListenerSide : public LoopHandler {
  public:
    explicit ListenerSide(NetworkCapture& capture) : owner(capture) {}
    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        if (events.accept)
            owner.Accept(loop, id);
    }

  private:
    NetworkCapture& owner;
};

class NetworkCapture::DatagramSide : public LoopHandler {
  public:
    explicit DatagramSide(NetworkCapture& capture) : owner(capture) {}
    // Any event (an empty datagram looks like an end of stream) means: read what is there.
    void OnEvents(EventLoop& loop, int id, const NetworkEvents&) override {
        owner.ReceiveDatagrams(loop.Socket(id));
    }

  private:
    NetworkCapture& owner;
};

// A listen:// connection, or the tcp:// connection (whose stream is the channel's own).
class NetworkCapture::StreamSide : public LoopHandler {
  public:
    StreamSide(NetworkCapture& capture, std::unique_ptr<StreamDecoder> own, bool connecting, const char* from)
        : owner(capture), ownStream(std::move(own)), outgoing(connecting), connecting(connecting) {
        stream = ownStream != nullptr ? ownStream.get() : owner.sharedStream.get();
        std::snprintf(peer, sizeof peer, "%.15s", from);
    }
    ~StreamSide() override {
        if (paused)
            --owner.pausedSides;
    }

    void OnEvents(EventLoop& loop, int id, const NetworkEvents& events) override {
        if (connecting) {
            if (!events.write && !events.close)
                return;
            if (events.writeError != 0 || (!events.write && events.close)) {
                owner.OutgoingEnded(id);
                return;
            }
            Connected(loop, id);
        }
        if (events.close)
            closeSeen = true;
        if (events.read || events.close)
            Read(loop, id);
    }

    // Connecting took too long.
    void OnDeadline(EventLoop&, int id) override { owner.OutgoingEnded(id); }

    void Connected(EventLoop& loop, int id) {
        connecting = false;
        loop.ClearDeadline(id);
        loop.Watch(id, kWatchRead);
        // What the far end sends now does not go on with a line it was in before it went away.
        if (owner.everConnected)
            stream->Interrupt();
        owner.everConnected = true;
        ++owner.openConnections;
        counted = true;
    }

    // There is room in the backlog again: reads at once, as the end of the stream may have been
    // reported while this side was not watched.
    void Resume(EventLoop& loop, int id) {
        if (!paused)
            return;
        paused = false;
        --owner.pausedSides;
        loop.Watch(id, kWatchRead);
        Read(loop, id);
    }

    // A listen:// connection ends: what it sent is still decoded, on the channel's ending list.
    void End(EventLoop& loop, int id) {
        ownStream->Finish();
        owner.Finished(std::move(ownStream));
        --owner.openConnections;
        loop.Remove(id);
    }

    // Reads what the connection has (its end too) outside of its own events.
    void Poll(EventLoop& loop, int id) {
        if (!paused && !connecting)
            Read(loop, id);
    }

    // A listen:// connection that may give way to a newcomer has this; one whose reading is
    // paused never gives way (its peer is sending and waits for us).
    Silence* IdleSilence() { return !outgoing && !paused && ownStream != nullptr ? &silence : nullptr; }
    const char* Peer() const { return peer; }
    bool counted = false;

  private:
    void Read(EventLoop& loop, int id) {
        SocketHandle socket = loop.Socket(id);
        bool ended = false;
        // After a close every byte is read now (the platform reports the close once), unless the
        // backlog fills up first.
        for (int i = 0; i < kReadsPerEvent || closeSeen; ++i) {
            if (owner.backlog.Full() && owner.backlog.WantRoom()) {
                // The channel's decoders are behind: the sender waits in TCP, nothing is lost.
                paused = true;
                ++owner.pausedSides;
                loop.Watch(id, 0);
                return;
            }
            int got = SocketReceive(socket, owner.buffer.data(), kReceiveBytes);
            if (got > 0) {
                silence.Heard();
                owner.DumpBytes(owner.buffer.data(), static_cast<size_t>(got));
                stream->Push(owner.buffer.data(), static_cast<size_t>(got));
                continue;
            }
            if (got < 0 && SocketWouldBlock())
                return;
            ended = true;  // end of stream or a broken connection
            break;
        }
        if (!ended)
            return;  // more is waiting: read on at the next turn, after the other sockets
        if (outgoing) {
            owner.OutgoingEnded(id);
            return;
        }
        End(loop, id);
    }

    NetworkCapture& owner;
    std::unique_ptr<StreamDecoder> ownStream;  // listen:// only
    StreamDecoder* stream;
    bool outgoing;
    bool connecting;
    bool paused = false;
    bool closeSeen = false;
    Silence silence;
    char peer[kAddressTextSize] = {};
};

// ---------------------------------------------------------------------------------------------

NetworkCapture::NetworkCapture(const char* name, const DecoderSettings& decoderSettings, LineOutput& out)
    : settings(decoderSettings),
      output(out),
      socketsReady(SocketStartup() != 0),
      gate(name != nullptr ? name : "") {
    std::snprintf(portName, sizeof portName, "%s", name != nullptr ? name : "");
}

NetworkCapture::~NetworkCapture() {
    Shutdown();
    CloseDump();
    if (socketsReady)
        SocketCleanup();
}

void NetworkCapture::SetAllowedSenders(const char* text) {
    gate.SetAllowedSenders(text);
}

std::unique_ptr<StreamDecoder> NetworkCapture::NewDecoder() {
    std::unique_ptr<StreamDecoder> stream(new StreamDecoder(settings, output, backlog));
    if (!stream->Start())
        return nullptr;
    return stream;
}

void NetworkCapture::Finished(std::unique_ptr<StreamDecoder> stream) {
    if (stream != nullptr)
        ending.push_back(std::move(stream));
}

int NetworkCapture::Open() {
    if (!socketsReady || !ParseNetworkPortName(portName, &name) || !loop.IsReady())
        return 0;
    buffer.resize(kReceiveBytes);
    uint32_t numeric;
    hostIsName =
        name.host[0] != 0 && !ParseIpv4(name.host, static_cast<int>(std::strlen(name.host)), &numeric);
    if (name.kind == NetworkKind::kConnect) {
        sharedStream = NewDecoder();
        nextAttempt = Clock::now();
        return sharedStream != nullptr ? 1 : 0;
    }
    bool datagram = name.kind == NetworkKind::kDatagram;
    SocketHandle socket = datagram ? SocketOpenDatagram() : SocketOpenStream();
    if (socket == kInvalidSocket)
        return 0;
    if (!SocketBindAddress(socket, name.listenAddress, name.listenPort) ||
        (!datagram && !SocketListen(socket, kListenBacklog))) {
        SocketClose(socket);
        return 0;
    }
    if (datagram && (sharedStream = NewDecoder()) == nullptr) {
        SocketClose(socket);
        return 0;
    }
    int port = SocketLocalPort(socket);
    std::unique_ptr<LoopHandler> side;
    if (datagram)
        side.reset(new DatagramSide(*this));
    else
        side.reset(new ListenerSide(*this));
    listenerId = loop.Add(socket, datagram ? kWatchRead : kWatchAccept, std::move(side));
    if (listenerId < 0)
        return 0;  // the loop has closed the socket
    listeningPort = port;
    return 1;
}

void NetworkCapture::RequestStop() {
    stopRequested = true;
    loop.Wake();
}

void NetworkCapture::Run() {
    while (!stopRequested.load()) {
        int wait = -1;
        if (name.kind == NetworkKind::kConnect && outgoingId < 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(nextAttempt - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) + 1 : 0;
        }
        if (hostLookup.Pending() && (wait < 0 || wait > kLookupPollMilliseconds))
            wait = kLookupPollMilliseconds;
        if (loop.RunOnce(wait) < 0)
            SleepMilliseconds(10);  // a failing wait must not spin
        if (stopRequested.load())
            break;
        if (hostLookup.Pending())
            ServeHostLookup();
        if (name.kind == NetworkKind::kConnect && outgoingId < 0 && Clock::now() >= nextAttempt)
            StartOutgoing();
        ending.erase(
            std::remove_if(ending.begin(), ending.end(),
                           [](const std::unique_ptr<StreamDecoder>& stream) { return stream->Ended(); }),
            ending.end());
        if (acceptHeld && !MustHoldAccepting()) {
            acceptHeld = false;
            loop.Watch(listenerId, kWatchAccept);
            Accept(loop, listenerId);  // the ones that waited meanwhile, at once
        }
        if (pausedSides > 0)
            ResumePaused();
    }
    Shutdown();
}

void NetworkCapture::ResumePaused() {
    // Each time from the next side on, so that one sender that refills the backlog at once
    // cannot keep the others waiting for ever.
    int bound = loop.IdBound();
    int start = bound > 0 ? static_cast<int>(resumeTurn++ % static_cast<unsigned>(bound)) : 0;
    for (int n = 0; n < bound && pausedSides > 0 && backlog.HasRoomAgain(); ++n) {
        int id = (start + n) % bound;
        if (StreamSide* side = dynamic_cast<StreamSide*>(loop.Handler(id)))
            side->Resume(loop, id);
    }
    // Those still paused hear of the next room; if there is room already, the next turn
    // comes at once.
    if (pausedSides > 0 && !backlog.WantRoom())
        loop.Wake();
}

void NetworkCapture::Accept(EventLoop& events, int listener) {
    bool relay = name.kind == NetworkKind::kPrinter;
    for (;;) {
        // Connections that have closed while the loop had not looked at them yet give their
        // places back first: the peer that connects, sends and closes, again and again, finds
        // its last connection gone.
        if (!relay && openConnections.load() >= kMaxConnections) {
            for (int id = 0; id < events.IdBound(); ++id) {
                if (StreamSide* side = dynamic_cast<StreamSide*>(events.Handler(id)))
                    side->Poll(events, id);
            }
        }
        if (!relay && MustHoldAccepting()) {
            // Decoding is behind: newcomers wait in the listener's backlog, as TCP makes them,
            // until a connection or a closed connection's stream has ended.
            if (acceptHeld || events.Watch(listener, 0))
                acceptHeld = true;
            return;
        }
        char peer[kAddressTextSize] = "0.0.0.0";
        bool refused = false;
        SocketHandle accepted = gate.Accept(events.Socket(listener), peer, sizeof peer, &refused);
        if (accepted == kInvalidSocket) {
            if (refused)
                continue;
            return;
        }
        if (openConnections.load() >= kMaxConnections && !MakeRoom(events, peer)) {
            TurnAway(peer);
            SocketClose(accepted);
            continue;
        }
        if (events.Count() + (relay ? 2 : 1) > EventLoop::kCapacity) {
            SocketClose(accepted);  // the loop is full (the limits above keep it from that)
            continue;
        }
        if (relay) {
            StartRelay(events, accepted, peer);
            continue;
        }
        std::unique_ptr<StreamDecoder> stream = NewDecoder();
        if (stream == nullptr) {
            SocketClose(accepted);
            continue;
        }
        if (events.Add(accepted, kWatchRead,
                       std::unique_ptr<LoopHandler>(new StreamSide(*this, std::move(stream), false, peer))) >=
            0)
            ++openConnections;
    }
}

bool NetworkCapture::MustHoldAccepting() {
    if (backlog.Streams() >= kMaxStreams)
        return true;
    // Every connection taken while some wait for the decoders: those are busy, not idle, and a
    // newcomer waits its turn rather than being closed, unless someone is idle enough to go.
    return openConnections.load() >= kMaxConnections && pausedSides > 0 &&
           LongestSilent(loop, gate.IdleLimitMilliseconds(), [this](int id) { return SilenceOf(id); }) < 0;
}

Silence* NetworkCapture::SilenceOf(int id) {
    LoopHandler* handler = loop.Handler(id);
    if (StreamSide* side = dynamic_cast<StreamSide*>(handler))
        return side->IdleSilence();
    if (RelaySide* side = dynamic_cast<RelaySide*>(handler))
        return side->IdleSilence();
    return nullptr;
}

bool NetworkCapture::MakeRoom(EventLoop& events, const char* peer) {
    int64_t silentFor = 0;
    int id = LongestSilent(
        events, gate.IdleLimitMilliseconds(), [this](int candidate) { return SilenceOf(candidate); },
        &silentFor);
    if (id < 0)
        return false;
    LoopHandler* handler = events.Handler(id);
    StreamSide* side = dynamic_cast<StreamSide*>(handler);
    RelaySide* relaySide = dynamic_cast<RelaySide*>(handler);
    const char* gone = side != nullptr ? side->Peer() : relaySide->Shared().peer;
    std::string slotsInUse = "all " + std::to_string(kMaxConnections) + " connections were in use";
    gate.NoteReplaced(gone, silentFor, peer, slotsInUse.c_str());
    if (side != nullptr)
        side->End(events, id);
    else
        EndRelay(events, relaySide->Shared(), false);
    return true;
}

void NetworkCapture::TurnAway(const char* peer) {
    gate.NoteTurnedAway(peer, ("all " + std::to_string(kMaxConnections) + " connections are in use").c_str());
}

void NetworkCapture::ReceiveDatagrams(SocketHandle socket) {
    char peer[kAddressTextSize];
    for (int i = 0; i < 64; ++i) {
        int got = SocketReceiveFrom(socket, buffer.data(), kReceiveBytes, peer, sizeof peer);
        if (got < 0)
            return;
        if (!gate.Admits(peer))
            continue;
        if (got == 0)
            continue;
        DumpBytes(buffer.data(), static_cast<size_t>(got));
        if (sharedStream->Waiting() > kTapLimitBytes) {
            droppedBytes += static_cast<uint64_t>(got);  // a datagram sender cannot be held
            continue;
        }
        sharedStream->Push(buffer.data(), static_cast<size_t>(got));
    }
}

void NetworkCapture::StartOutgoing() {
    nextAttempt = Clock::now() + std::chrono::milliseconds(kReconnectMilliseconds);
    if (hostIsName)
        outgoingAwaitsHost = hostLookup.Start(name.host) != 0;
    else
        ConnectOutgoing(name.host);
}

void NetworkCapture::ConnectOutgoing(const char* address) {
    SocketHandle socket = SocketOpenStream();
    if (socket == kInvalidSocket)
        return;
    int id = loop.Add(socket, kWatchRead | kWatchWrite,
                      std::unique_ptr<LoopHandler>(new StreamSide(*this, nullptr, true, name.host)));
    if (id < 0)
        return;
    int begun = SocketConnectBegin(socket, address, name.hostPort);
    if (begun < 0) {
        loop.Remove(id);  // tried again at nextAttempt, silently
        return;
    }
    outgoingId = id;
    if (begun > 0)
        static_cast<StreamSide*>(loop.Handler(id))->Connected(loop, id);
    else
        loop.SetDeadline(id, Clock::now() + std::chrono::milliseconds(kConnectTimeoutMilliseconds));
}

// The answer of the name lookup, for the connects that wait for it.
void NetworkCapture::ServeHostLookup() {
    char address[kNetworkAddressSize] = {};
    int answer = hostLookup.Take(address, sizeof address);
    if (answer == 0)
        return;
    if (outgoingAwaitsHost) {
        outgoingAwaitsHost = false;
        if (answer > 0 && outgoingId < 0)
            ConnectOutgoing(address);  // a name that does not resolve is tried again at nextAttempt
    }
    std::vector<std::shared_ptr<Relay>> waiting;
    waiting.swap(relaysAwaitingHost);
    for (const std::shared_ptr<Relay>& relay : waiting) {
        if (!relay->ended)
            ConnectPrinter(loop, relay, answer > 0 ? address : nullptr);
    }
}

void NetworkCapture::OutgoingEnded(int id) {
    StreamSide* side = static_cast<StreamSide*>(loop.Handler(id));
    if (side != nullptr && side->counted)
        --openConnections;
    loop.Remove(id);
    outgoingId = -1;
}

void NetworkCapture::Shutdown() {
    relaysAwaitingHost.clear();
    outgoingAwaitsHost = false;
    loop.Clear();  // closes every socket; each handler's stream is aborted and joined
    openConnections = 0;
    outgoingId = -1;
    listenerId = -1;
    acceptHeld = false;
    for (auto& stream : ending)
        stream->Abort();
    ending.clear();
    sharedStream.reset();
    listeningPort = 0;
}

int NetworkCapture::OpenDump(const char* wanted, const char* fileName) {
    if (wanted == nullptr || std::strcmp(wanted, portName) != 0)
        return 0;
    std::FILE* file = fileName != nullptr ? std::fopen(fileName, "wb") : nullptr;
    if (file != nullptr)
        std::setvbuf(file, nullptr, _IONBF, 0);  // every piece reaches the file as it comes
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dump != nullptr)
        std::fclose(dump);
    dump = file;
    dumping = dump != nullptr;
    return 1;
}

int NetworkCapture::CloseDump() {
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dump != nullptr)
        std::fclose(dump);
    dump = nullptr;
    dumping = false;
    return 1;
}

void NetworkCapture::DumpBytes(const unsigned char* data, size_t count) {
    if (!dumping.load(std::memory_order_relaxed))
        return;
    std::lock_guard<std::mutex> guard(dumpLock);
    if (dump != nullptr)
        std::fwrite(data, 1, count, dump);
}
