#include "netsource/network_capture.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/os.h"

using namespace zamri;

namespace {

constexpr int kReceiveBytes = 64 * 1024;
constexpr int kReadsPerEvent = 8;  // then the other sockets get their turn
constexpr int kListenBacklog = kMaxSocketSlots;

int64_t NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// One peer of the channel: a listen:// connection, a printer:// pair (till and printer), or the
// tcp:// connection.
struct NetworkCapture::Connection {
    SocketHandle till = kInvalidSocket;     // the socket whose bytes are decoded
    SocketHandle printer = kInvalidSocket;  // printer:// only
    bool printerConnecting = false;
    StreamDecoder* stream = nullptr;
    std::unique_ptr<StreamDecoder> ownStream;  // listen:// and printer://
    std::vector<unsigned char> toPrinter;      // relayed bytes the printer has not taken yet
    std::vector<unsigned char> toTill;
    bool paused = false;       // reading stopped until the decoder has caught up
    bool tapDropping = false;  // the decoder's copy is being dropped (printer://)
    bool counted = false;      // tcp://: counted in openConnections
    int64_t deadline = -1;     // connect or flush time-out, steady ms
    // The interest last set for each socket, so that it is set again only when it changes.
    int tillInterest = -1;
    int printerInterest = -1;
};

NetworkCapture::NetworkCapture(const char* name, const DecoderSettings& decoderSettings, LineOutput& out)
    : settings(decoderSettings), output(out), socketsReady(SocketStartup() != 0) {
    std::snprintf(portName, sizeof portName, "%s", name != nullptr ? name : "");
}

NetworkCapture::~NetworkCapture() {
    Shutdown();
    CloseDump();
    if (socketsReady)
        SocketCleanup();
}

void NetworkCapture::SetAllowedSenders(const char* text) {
    std::string rejected;
    allowed.Parse(text, &rejected);
    if (!rejected.empty()) {
        char line[400];
        std::snprintf(line, sizeof line,
                      "zamri: %s: allowed senders: ignored what is not an IPv4 address or block: %s",
                      portName, rejected.c_str());
        WriteErrorLine(line);
    }
}

std::unique_ptr<StreamDecoder> NetworkCapture::NewDecoder() {
    std::unique_ptr<StreamDecoder> stream(new StreamDecoder(settings, output, [this] { events.Wake(); }));
    if (!stream->Start())
        return nullptr;
    return stream;
}

int NetworkCapture::Open() {
    if (!socketsReady || !ParseNetworkPortName(portName, &name) || !events.IsReady())
        return 0;
    buffer.resize(kReceiveBytes);
    if (name.kind == NetworkKind::kConnect) {
        sharedStream = NewDecoder();
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
    if (datagram) {
        sharedStream = NewDecoder();
        if (sharedStream == nullptr) {
            SocketClose(socket);
            return 0;
        }
    }
    if (AddSlot(socket, datagram ? kWatchDatagram : kWatchAccept,
                datagram ? SlotRole::kDatagram : SlotRole::kListener, nullptr) < 0) {
        SocketClose(socket);
        return 0;
    }
    listener = socket;
    listeningPort = SocketLocalPort(socket);
    return 1;
}

void NetworkCapture::RequestStop() {
    stopRequested = true;
    events.Wake();
}

int NetworkCapture::AddSlot(SocketHandle socket, int kind, SlotRole role, Connection* connection) {
    int slot = static_cast<int>(slots.size());
    if (slot >= kMaxSocketSlots || !events.Attach(slot, socket, kind))
        return -1;
    slots.push_back(Slot{socket, role, connection});
    return slot;
}

int NetworkCapture::SlotOf(SocketHandle socket) const {
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].socket == socket)
            return static_cast<int>(i);
    }
    return -1;
}

void NetworkCapture::RemoveSlot(SocketHandle socket) {
    int slot = SlotOf(socket);
    if (slot < 0)
        return;
    events.Detach(slot);
    int last = static_cast<int>(slots.size()) - 1;
    if (slot != last) {
        // The last slot takes the freed one, with its notification.
        events.Move(last, slot);
        slots[static_cast<size_t>(slot)] = slots[static_cast<size_t>(last)];
    }
    slots.pop_back();
}

void NetworkCapture::Interest(SocketHandle socket, bool read, bool write) {
    int slot = SlotOf(socket);
    if (slot >= 0)
        events.SetInterest(slot, socket, read ? 1 : 0, write ? 1 : 0);
}

void NetworkCapture::Run() {
    std::vector<std::pair<SocketHandle, NetworkEvents>> ready;
    while (!stopRequested.load()) {
        int64_t now = NowMilliseconds();
        RunDeadlines(now);
        int count = static_cast<int>(slots.size());
        int first = events.Wait(count, MillisecondsToNextDeadline(NowMilliseconds()));
        if (first < 0) {
            SleepMilliseconds(10);  // a failing wait must not spin
            continue;
        }
        // Events are gathered first: handling one may move or free slots.
        ready.clear();
        for (int i = first; i < count; ++i) {
            NetworkEvents found;
            if (events.Take(i, slots[static_cast<size_t>(i)].socket, &found))
                ready.emplace_back(slots[static_cast<size_t>(i)].socket, found);
        }
        for (const auto& entry : ready) {
            if (stopRequested.load())
                break;
            int slot = SlotOf(entry.first);
            if (slot >= 0)
                Dispatch(Slot(slots[static_cast<size_t>(slot)]), entry.second);
        }
        ReapEnded();
        ResumePaused();
    }
    Shutdown();
}

void NetworkCapture::Dispatch(const Slot& slot, const NetworkEvents& found) {
    Connection* c = slot.connection;
    switch (slot.role) {
        case SlotRole::kListener:
            if (found.accept && found.acceptError == 0)
                Accept();
            return;
        case SlotRole::kDatagram:
            ReceiveDatagrams();
            return;
        case SlotRole::kOutgoing:
            if (found.connect) {
                OutgoingConnected(found.connectError);
                if (outgoing == nullptr)
                    return;
            }
            if (found.read || found.close)
                ReadStream(*c, found.close != 0);
            return;
        case SlotRole::kTill:
            if (name.kind == NetworkKind::kListen) {
                if (found.read || found.close)
                    ReadStream(*c, found.close != 0);
                return;
            }
            if (found.write)
                FlushTo(*c, false);
            if (SlotOf(slot.socket) >= 0 && (found.read || found.close))
                RelayFrom(*c, true, found.close != 0);
            return;
        case SlotRole::kPrinter:
            if (found.connect) {
                PrinterConnected(*c, found.connectError);
                if (SlotOf(slot.socket) < 0)
                    return;
            }
            if (found.write)
                FlushTo(*c, true);
            if (SlotOf(slot.socket) >= 0 && (found.read || found.close))
                RelayFrom(*c, false, found.close != 0);
            return;
    }
}

void NetworkCapture::Refuse(const char* peer) {
    ++refusedCount;
    if (!refusals.Refused(peer, NowMilliseconds()))
        return;
    char line[200];
    std::snprintf(line, sizeof line, "zamri: %s: refused %s, not an allowed sender (%llu refused so far)",
                  portName, peer, static_cast<unsigned long long>(refusedCount.load()));
    WriteErrorLine(line);
}

void NetworkCapture::Accept() {
    char peer[kAddressTextSize] = "0.0.0.0";
    SocketHandle accepted = SocketAccept(listener, peer, sizeof peer);
    if (accepted == kInvalidSocket)
        return;
    if (!allowed.Allows(peer)) {
        SocketClose(accepted);
        Refuse(peer);
        return;
    }
    bool relay = name.kind == NetworkKind::kPrinter;
    if (static_cast<int>(slots.size()) + (relay ? 2 : 1) > kMaxSocketSlots) {
        SocketClose(accepted);  // every slot is taken
        return;
    }
    std::unique_ptr<Connection> c(new Connection);
    c->till = accepted;
    c->ownStream = NewDecoder();
    c->stream = c->ownStream.get();
    if (c->stream == nullptr || AddSlot(accepted, kWatchRead, SlotRole::kTill, c.get()) < 0) {
        SocketClose(accepted);
        return;
    }
    if (relay) {
        // The till's bytes wait in its socket until the printer is there to take them.
        int pending = 0;
        SocketHandle printer = SocketConnectStart(name.host, name.hostPort, &pending);
        int added = printer == kInvalidSocket
                        ? -1
                        : AddSlot(printer, pending ? kWatchConnect : kWatchRead, SlotRole::kPrinter, c.get());
        if (added < 0) {
            // The printer cannot be reached: the till learns it at once, as without us.
            SocketClose(printer);
            RemoveSlot(accepted);
            SocketAbort(accepted);
            return;
        }
        c->printer = printer;
        c->printerConnecting = pending != 0;
        if (pending)
            c->deadline = NowMilliseconds() + kConnectTimeoutMilliseconds;
        UpdateInterests(*c);
        if (pending) {
            Interest(accepted, false, false);  // not before the printer is there
            c->tillInterest = 0;
        }
    }
    connections.push_back(std::move(c));
    ++openConnections;
}

void NetworkCapture::ReceiveDatagrams() {
    char peer[kAddressTextSize];
    for (int i = 0; i < 64; ++i) {
        int got = SocketReceiveFrom(listener, buffer.data(), kReceiveBytes, peer, sizeof peer);
        if (got < 0)
            return;
        if (!allowed.Allows(peer)) {
            Refuse(peer);
            continue;
        }
        if (got == 0)
            continue;
        DumpBytes(buffer.data(), static_cast<size_t>(got));
        if (sharedStream->Waiting() > kTapLimitBytes) {
            droppedBytes += static_cast<uint64_t>(got);
            continue;
        }
        sharedStream->Push(buffer.data(), static_cast<size_t>(got));
    }
}

void NetworkCapture::ReadStream(Connection& c, bool closing) {
    bool ended = false;
    for (int i = 0; i < kReadsPerEvent || closing; ++i) {
        if (c.paused && !closing)
            return;
        int got = SocketReceive(c.till, buffer.data(), kReceiveBytes);
        if (got > 0) {
            DumpBytes(buffer.data(), static_cast<size_t>(got));
            size_t waiting = c.stream->Push(buffer.data(), static_cast<size_t>(got));
            if (waiting >= StreamDecoder::kPauseBytes && !closing && !c.paused) {
                // The decoder is behind: the sender waits in TCP, nothing is lost.
                c.paused = true;
                c.stream->WantRoom();
                Interest(c.till, false, false);
            }
            continue;
        }
        if (got < 0 && SocketWouldBlock())
            break;
        ended = true;  // end of stream or a broken connection
        break;
    }
    if (!ended)
        return;
    if (&c == outgoing.get())
        DropOutgoing();
    else
        CloseConnection(&c);
}

void NetworkCapture::Tap(Connection& c, const unsigned char* data, size_t count) {
    DumpBytes(data, count);
    if (c.stream->Waiting() + count > kTapLimitBytes) {
        // Printing never waits for the overlay: the decoder's copy gives way.
        droppedBytes += count;
        c.tapDropping = true;
        return;
    }
    if (c.tapDropping) {
        c.tapDropping = false;
        c.stream->Interrupt();
    }
    c.stream->Push(data, count);
}

namespace {

// Interest code: bit 0 read, bit 1 write.
int InterestCode(bool read, bool write) {
    return (read ? 1 : 0) | (write ? 2 : 0);
}

}  // namespace

void NetworkCapture::RelayFrom(Connection& c, bool fromTill, bool closing) {
    SocketHandle from = fromTill ? c.till : c.printer;
    SocketHandle to = fromTill ? c.printer : c.till;
    std::vector<unsigned char>& pending = fromTill ? c.toPrinter : c.toTill;
    bool ended = false;
    for (int i = 0; i < kReadsPerEvent || closing; ++i) {
        if (!pending.empty() && !closing)
            break;  // the other side has not taken the last piece yet
        int got = SocketReceive(from, buffer.data(), kReceiveBytes);
        if (got > 0) {
            const unsigned char* data = buffer.data();
            if (fromTill)
                Tap(c, data, static_cast<size_t>(got));
            if (to == kInvalidSocket)
                continue;  // the other side is gone: what comes now has nowhere to go
            int sent = 0;
            if (pending.empty()) {
                sent = SocketSend(to, data, got);
                if (sent < 0 && !SocketWouldBlock()) {
                    CloseConnection(&c);
                    return;
                }
                if (sent < 0)
                    sent = 0;
            }
            pending.insert(pending.end(), data + sent, data + got);
            continue;
        }
        if (got < 0 && SocketWouldBlock())
            break;
        ended = true;
        break;
    }
    if (ended) {
        // This side closed: the other closes too, once it has what was meant for it.
        std::vector<unsigned char>& backlog = fromTill ? c.toTill : c.toPrinter;
        backlog.clear();  // answers for a side that is gone
        RemoveSlot(from);
        SocketClose(from);
        (fromTill ? c.till : c.printer) = kInvalidSocket;
        if (pending.empty() || to == kInvalidSocket) {
            CloseConnection(&c);
            return;
        }
        c.deadline = NowMilliseconds() + kFlushMilliseconds;
    }
    UpdateInterests(c);
}

void NetworkCapture::UpdateInterests(Connection& c) {
    // Reads from a side wait while the other has not taken what it was sent.
    if (c.till != kInvalidSocket) {
        int code = InterestCode(c.toPrinter.empty() && c.printer != kInvalidSocket && !c.printerConnecting,
                                !c.toTill.empty());
        if (code != c.tillInterest) {
            Interest(c.till, code & 1, code & 2);
            c.tillInterest = code;
        }
    }
    if (c.printer != kInvalidSocket && !c.printerConnecting) {
        int code = InterestCode(c.toTill.empty() && c.till != kInvalidSocket, !c.toPrinter.empty());
        if (code != c.printerInterest) {
            Interest(c.printer, code & 1, code & 2);
            c.printerInterest = code;
        }
    }
}

void NetworkCapture::FlushTo(Connection& c, bool toPrinter) {
    SocketHandle to = toPrinter ? c.printer : c.till;
    std::vector<unsigned char>& pending = toPrinter ? c.toPrinter : c.toTill;
    while (to != kInvalidSocket && !pending.empty()) {
        int sent =
            SocketSend(to, pending.data(), static_cast<int>(std::min<size_t>(pending.size(), 1 << 20)));
        if (sent < 0) {
            if (SocketWouldBlock())
                break;
            CloseConnection(&c);
            return;
        }
        pending.erase(pending.begin(), pending.begin() + sent);
    }
    SocketHandle from = toPrinter ? c.till : c.printer;
    if (pending.empty() && from == kInvalidSocket) {
        CloseConnection(&c);  // the side that had closed has been fully passed on
        return;
    }
    UpdateInterests(c);
}

void NetworkCapture::PrinterConnected(Connection& c, int error) {
    if (error != 0) {
        // Printer refused or unreachable: the till's connection goes at once.
        SocketHandle till = c.till;
        RemoveSlot(till);
        SocketAbort(till);
        c.till = kInvalidSocket;
        CloseConnection(&c);
        return;
    }
    c.printerConnecting = false;
    c.deadline = -1;
    c.tillInterest = -1;
    c.printerInterest = -1;
    UpdateInterests(c);
}

void NetworkCapture::CloseConnection(Connection* c) {
    if (c->till != kInvalidSocket) {
        RemoveSlot(c->till);
        SocketClose(c->till);
        c->till = kInvalidSocket;
    }
    if (c->printer != kInvalidSocket) {
        RemoveSlot(c->printer);
        SocketClose(c->printer);
        c->printer = kInvalidSocket;
    }
    for (size_t i = 0; i < connections.size(); ++i) {
        if (connections[i].get() == c) {
            if (c->ownStream != nullptr) {
                c->ownStream->Finish();
                ending.push_back(std::move(c->ownStream));
            }
            connections.erase(connections.begin() + static_cast<long>(i));
            --openConnections;
            return;
        }
    }
}

void NetworkCapture::StartOutgoing() {
    int64_t now = NowMilliseconds();
    nextAttempt = now + kReconnectMilliseconds;
    int pending = 0;
    SocketHandle socket = SocketConnectStart(name.host, name.hostPort, &pending);
    if (socket == kInvalidSocket)
        return;  // tried again at nextAttempt, silently
    std::unique_ptr<Connection> c(new Connection);
    c->till = socket;
    c->stream = sharedStream.get();
    if (AddSlot(socket, pending ? kWatchConnect : kWatchRead, SlotRole::kOutgoing, c.get()) < 0) {
        SocketClose(socket);
        return;
    }
    outgoing = std::move(c);
    if (pending)
        outgoing->deadline = now + kConnectTimeoutMilliseconds;
    else
        OutgoingConnected(0);
}

void NetworkCapture::OutgoingConnected(int error) {
    if (error != 0) {
        DropOutgoing();
        return;
    }
    outgoing->deadline = -1;
    Interest(outgoing->till, true, false);
    // What the far end sends now does not go on with a line it was in before it went away.
    if (everConnected)
        sharedStream->Interrupt();
    everConnected = true;
    ++openConnections;
    outgoing->counted = true;
}

void NetworkCapture::DropOutgoing() {
    if (outgoing == nullptr)
        return;
    if (outgoing->counted)
        --openConnections;
    RemoveSlot(outgoing->till);
    SocketClose(outgoing->till);
    outgoing.reset();
}

void NetworkCapture::RunDeadlines(int64_t now) {
    for (size_t i = 0; i < connections.size();) {
        Connection* c = connections[i].get();
        if (c->deadline >= 0 && now >= c->deadline) {
            if (c->printerConnecting && c->till != kInvalidSocket) {
                RemoveSlot(c->till);
                SocketAbort(c->till);
                c->till = kInvalidSocket;
            }
            CloseConnection(c);
            continue;
        }
        ++i;
    }
    if (name.kind != NetworkKind::kConnect)
        return;
    if (outgoing != nullptr && outgoing->deadline >= 0 && now >= outgoing->deadline)
        DropOutgoing();
    if (outgoing == nullptr && now >= nextAttempt)
        StartOutgoing();
}

int NetworkCapture::MillisecondsToNextDeadline(int64_t now) const {
    int64_t next = -1;
    auto consider = [&](int64_t at) {
        if (at >= 0 && (next < 0 || at < next))
            next = at;
    };
    for (const auto& c : connections)
        consider(c->deadline);
    if (name.kind == NetworkKind::kConnect) {
        if (outgoing == nullptr)
            consider(nextAttempt);
        else
            consider(outgoing->deadline);
    }
    if (next < 0)
        return -1;  // nothing is due: sleep until a socket or a wake-up
    int64_t left = next - now;
    return left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, 60000));
}

void NetworkCapture::ReapEnded() {
    ending.erase(std::remove_if(ending.begin(), ending.end(),
                                [](const std::unique_ptr<StreamDecoder>& stream) { return stream->Ended(); }),
                 ending.end());
}

void NetworkCapture::ResumePaused() {
    auto resume = [this](Connection& c) {
        if (c.paused && c.stream->Waiting() < StreamDecoder::kResumeBytes) {
            c.paused = false;
            Interest(c.till, true, false);
        }
    };
    for (auto& c : connections)
        resume(*c);
    if (outgoing != nullptr)
        resume(*outgoing);
}

void NetworkCapture::Shutdown() {
    for (auto& c : connections) {
        SocketClose(c->till);
        SocketClose(c->printer);
        if (c->ownStream != nullptr)
            c->ownStream->Abort();
    }
    if (outgoing != nullptr)
        SocketClose(outgoing->till);
    outgoing.reset();
    if (listener != kInvalidSocket)
        SocketClose(listener);
    listener = kInvalidSocket;
    for (size_t i = 0; i < slots.size(); ++i)
        events.Detach(static_cast<int>(i));
    slots.clear();
    openConnections = 0;
    for (auto& stream : ending)
        stream->Abort();
    if (sharedStream != nullptr)
        sharedStream->Abort();
    connections.clear();  // joins their decoders
    ending.clear();
    sharedStream.reset();
    listeningPort = 0;
}

int NetworkCapture::OpenDump(const char* name, const char* fileName) {
    if (name == nullptr || std::strcmp(name, portName) != 0)
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
