// The server of TCP mode: runs the opening exchange on every new connection (side by side, in
// the network thread's loop), turns every text-line frame into a LineRecord on the network
// thread and leaves the delivery to a worker thread of its own, which runs each camera's line
// assembly and hands the line to the owner's line handler.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "mask/card_mask.h"
#include "platform/work_queue.h"
#include "tcp/tcp_line_state.h"
#include "tcp/tcp_server.h"

// One received line, allocated on the network thread and freed by the worker.
struct LineRecord {
    static constexpr int kMaxText = 263;      // longer texts are cut to this many bytes
    int camera = 0;                           // as received, counted from 1
    char* text = nullptr;                     // heap copy, NUL-terminated
    char peer[zamri::kAddressTextSize] = {};  // the sender's address
    // The first bytes cut off a longer text (NUL-terminated): enough to tell whether a card
    // number runs on past the cut, so that its digits before the cut are masked.
    char afterCut[kCardMaxSpan + 1] = {};
};

class TcpIngestServer : public TcpServer {
  public:
    static constexpr int kQueueCapacity = 2048;
    // The whole opening exchange must finish within this time, or the connection is closed.
    static constexpr int kOpeningTimeoutMilliseconds = 3000;
    // At destruction the worker goes on delivering the lines already queued for at most this
    // long; whatever is left then is freed without delivery.
    static constexpr int kFinishMilliseconds = 2000;
    // Cameras 1 to kCameras; lines for others are dropped.
    static constexpr int kCameras = 32;

    // Where the worker hands each line once the camera's line assembly has run (the line's end
    // characters taken off, receipt boundaries marked in flags): the camera, the flags, the
    // sender's address, the text, and what followed it on the wire (the characters taken off,
    // then what the server cut off a long text), so that a card number across the end is still
    // masked. The pointers hold during the call only.
    using LineHandler =
        std::function<void(int camera, int flags, const char* peer, const char* text, const char* after)>;

    TcpIngestServer();
    ~TcpIngestServer() override;

    void OnFrame(FrameBuffer& frame) override;
    // The opening exchange: the challenge goes out at once, the reply may come in pieces, the
    // verdict goes out when a client slot is free (a wrong reply gets verdict 0 and is closed).
    int OnOpen(zamri::SocketHandle socket, OpeningState& state) override;
    int OnOpeningBytes(zamri::SocketHandle socket, OpeningState& state) override;
    int OnAdmit(zamri::SocketHandle socket) override;
    int OpeningTimeout() const override { return openingTimeout.load(); }

    // Set before Start. Without a handler every line goes, as received, to the event callback
    // as EVT_LINE_RECEIVED (with LinePeer and LineAfterCut for the sender and the cut).
    void SetLineHandler(LineHandler handler);
    // How camera's receipts end (see TcpLineState::SetPattern); any thread: the camera's next
    // line is assembled by it.
    void SetLinePattern(int camera, int patternFlags, const char* patternText);

    // Tests shorten the opening exchange's bound; call before Start.
    void SetOpeningTimeout(int milliseconds) { openingTimeout = milliseconds; }
    // The address of the sender of the line being handed over, for the owner's
    // EVT_LINE_RECEIVED callback (worker thread, during the callback only); "" otherwise.
    const char* LinePeer() const { return linePeer; }
    // What was cut off that line's text ("" when nothing was), during the callback only.
    const char* LineAfterCut() const { return lineAfterCut; }
    // Lines waiting for the worker (read by any thread).
    int QueuedLines() { return static_cast<int>(queue.Count()); }
    // Frames for a camera outside 1 to 32 (dropped) so far, and the last one's camera and
    // sender. Any thread.
    struct UnexpectedCameras {
        uint64_t frames = 0;
        int lastCamera = 0;
        char lastPeer[zamri::kAddressTextSize] = {};
    };
    UnexpectedCameras UnexpectedSoFar();

  private:
    struct FreeRecord {
        void operator()(LineRecord* record) const;
    };
    using QueuedRecord = std::unique_ptr<LineRecord, FreeRecord>;

    // Queues the record, holding the network thread while the queue is full (TCP flow control
    // then holds the senders). Frees the record when it cannot be queued at all.
    void QueueLine(LineRecord* record);
    // Assembles the record's line and hands it to the line handler (worker thread).
    void HandOn(LineRecord& record);

    const char* linePeer = "";      // worker thread only
    const char* lineAfterCut = "";  // worker thread only
    // Fed by the network thread, which waits for room when it is full; worked off by the
    // queue's worker, which runs from construction on, independent of Start and Stop.
    zamri::WorkQueue<QueuedRecord> queue{kQueueCapacity, zamri::WhenFull::kWait};

    std::atomic<int> openingTimeout{kOpeningTimeoutMilliseconds};

    // Keeps a camera's pattern change from overlapping the worker's assembly of a line for it;
    // also orders the handler, set before Start, before the worker's first use.
    std::mutex lineLock;
    TcpLineState lineStates[kCameras];
    LineHandler lineHandler;
    UnexpectedCameras unexpected;  // under lineLock
};
