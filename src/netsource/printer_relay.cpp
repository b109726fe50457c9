#include "netsource/printer_relay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/os.h"

using namespace zamri;
using network_capture::kReadsPerEvent;
using network_capture::kReceiveBytes;

void NetworkCapture::StartRelay(EventLoop& events, SocketHandle till, const char* peer) {
    std::shared_ptr<Relay> relay(new Relay);
    std::snprintf(relay->peer, sizeof relay->peer, "%s", peer);
    // Printing never waits for the overlay: when too many closed jobs are still being decoded,
    // this one goes to the printer undecoded (its bytes count as dropped).
    if (backlog.Streams() < kMaxStreams)
        relay->stream = NewDecoder();
    if (relay->stream == nullptr) {
        if (untappedLog.Refused(peer)) {
            char line[200];
            std::snprintf(line, sizeof line,
                          "zamri: %s: decoding is behind; the job from %s goes to the printer without being "
                          "shown",
                          portName, peer);
            WriteErrorLine(line);
        }
    }
    // The till's bytes wait in its socket until the printer is there to take them.
    relay->tillId = events.Add(till, 0, std::unique_ptr<LoopHandler>(new RelaySide(*this, relay, true)));
    relay->tillWatch = 0;
    if (relay->tillId < 0)
        return;
    ++openConnections;
    if (!hostIsName) {
        ConnectPrinter(events, relay, name.host);
        return;
    }
    // The printer's name is looked up first; the till waits for it no longer than for a connect.
    if (!hostLookup.Start(name.host)) {
        EndRelay(events, *relay, true);
        return;
    }
    events.SetDeadline(relay->tillId, Clock::now() + std::chrono::milliseconds(kConnectTimeoutMilliseconds));
    relaysAwaitingHost.push_back(relay);
}

// address: the printer's dotted address, or null when its name did not resolve.
void NetworkCapture::ConnectPrinter(EventLoop& events, const std::shared_ptr<Relay>& relay,
                                    const char* address) {
    if (hostIsName)
        events.ClearDeadline(relay->tillId);
    SocketHandle printer = address != nullptr ? SocketOpenStream() : kInvalidSocket;
    if (printer != kInvalidSocket)
        relay->printerId = events.Add(printer, kWatchRead | kWatchWrite,
                                      std::unique_ptr<LoopHandler>(new RelaySide(*this, relay, false)));
    int begun = relay->printerId >= 0 ? SocketConnectBegin(printer, address, name.hostPort) : -1;
    if (begun < 0) {
        // The printer cannot be reached: the till learns it at once, as it would without us.
        EndRelay(events, *relay, true);
        return;
    }
    relay->printerWatch = kWatchRead | kWatchWrite;
    if (begun > 0) {
        relay->printerUp = true;
        UpdateRelayWatches(events, *relay);
    } else {
        events.SetDeadline(relay->printerId,
                           Clock::now() + std::chrono::milliseconds(kConnectTimeoutMilliseconds));
    }
}

void NetworkCapture::Tap(Relay& relay, const unsigned char* data, size_t count) {
    DumpBytes(data, count);
    if (relay.stream == nullptr) {
        droppedBytes += count;
        return;
    }
    if (backlog.Bytes() + count > kTapLimitBytes) {
        // Printing never waits for the overlay: the decoder's copy gives way.
        droppedBytes += count;
        relay.tapDropping = true;
        return;
    }
    if (relay.tapDropping) {
        relay.tapDropping = false;
        relay.stream->Interrupt();
    }
    relay.stream->Push(data, count);
}

void NetworkCapture::RelayFrom(EventLoop& events, Relay& relay, bool fromTill, bool closing) {
    int fromId = fromTill ? relay.tillId : relay.printerId;
    int toId = fromTill ? relay.printerId : relay.tillId;
    SocketHandle from = events.Socket(fromId);
    SocketHandle to = events.Socket(toId);
    std::vector<unsigned char>& pending = fromTill ? relay.toPrinter : relay.toTill;
    bool ended = false;
    for (int i = 0; i < kReadsPerEvent || closing; ++i) {
        if (!pending.empty() && !closing)
            break;  // the other side has not taken the last piece yet
        int got = SocketReceive(from, buffer.data(), kReceiveBytes);
        if (got > 0) {
            relay.silence.Heard();
            const unsigned char* data = buffer.data();
            if (fromTill)
                Tap(relay, data, static_cast<size_t>(got));
            if (to == kInvalidSocket)
                continue;  // the other side is gone: this has nowhere to go
            int sent = 0;
            if (pending.empty()) {
                sent = SocketSend(to, data, got);
                if (sent < 0 && !SocketWouldBlock()) {
                    EndRelay(events, relay, false);
                    return;
                }
                sent = std::max(sent, 0);
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
        (fromTill ? relay.toTill : relay.toPrinter).clear();  // answers for a side that is gone
        events.Remove(fromId);
        (fromTill ? relay.tillId : relay.printerId) = -1;
        if (pending.empty() || to == kInvalidSocket) {
            EndRelay(events, relay, false);
            return;
        }
        events.SetDeadline(toId, Clock::now() + std::chrono::milliseconds(kFlushMilliseconds));
    }
    UpdateRelayWatches(events, relay);
}

void NetworkCapture::FlushRelay(EventLoop& events, Relay& relay, bool toPrinter) {
    SocketHandle to = events.Socket(toPrinter ? relay.printerId : relay.tillId);
    std::vector<unsigned char>& pending = toPrinter ? relay.toPrinter : relay.toTill;
    size_t done = 0;
    while (to != kInvalidSocket && done < pending.size()) {
        int sent = SocketSend(to, pending.data() + done,
                              static_cast<int>(std::min<size_t>(pending.size() - done, 1 << 20)));
        if (sent < 0) {
            if (SocketWouldBlock())
                break;
            EndRelay(events, relay, false);
            return;
        }
        done += static_cast<size_t>(sent);
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(done));
    int fromId = toPrinter ? relay.tillId : relay.printerId;
    if (pending.empty() && fromId < 0) {
        EndRelay(events, relay, false);  // the side that had closed has been passed on whole
        return;
    }
    UpdateRelayWatches(events, relay);
}

void NetworkCapture::UpdateRelayWatches(EventLoop& events, Relay& relay) {
    // A side is read only while the other has taken everything it was sent, so what waits in
    // between stays one read's worth at most and TCP holds a fast sender.
    if (relay.tillId >= 0) {
        int watch = (relay.toPrinter.empty() && relay.printerId >= 0 && relay.printerUp ? kWatchRead : 0) |
                    (relay.toTill.empty() ? 0 : kWatchWrite);
        if (watch != relay.tillWatch && events.Watch(relay.tillId, watch))
            relay.tillWatch = watch;
    }
    if (relay.printerId >= 0 && relay.printerUp) {
        int watch = (relay.toTill.empty() && relay.tillId >= 0 ? kWatchRead : 0) |
                    (relay.toPrinter.empty() ? 0 : kWatchWrite);
        if (watch != relay.printerWatch && events.Watch(relay.printerId, watch))
            relay.printerWatch = watch;
    }
}

void NetworkCapture::EndRelay(EventLoop& events, Relay& relay, bool abortTill) {
    if (relay.ended)
        return;
    relay.ended = true;
    if (relay.tillId >= 0)
        events.Remove(relay.tillId, abortTill);
    if (relay.printerId >= 0)
        events.Remove(relay.printerId);
    relay.tillId = relay.printerId = -1;
    if (relay.stream != nullptr) {
        relay.stream->Finish();
        Finished(std::move(relay.stream));
    }
    --openConnections;
}
