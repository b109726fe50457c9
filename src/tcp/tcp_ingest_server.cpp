#include "tcp/tcp_ingest_server.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/os.h"
#include "tcp/wire_protocol.h"

using namespace zamri;

namespace {
constexpr int kWorkerWaitMilliseconds = 5000;
constexpr int kRoomWaitMilliseconds = 10;
}  // namespace

void TcpIngestServer::AutoEvent::Set() {
    {
        std::lock_guard<std::mutex> guard(lock);
        set = true;
    }
    signal.notify_one();
}

bool TcpIngestServer::AutoEvent::WaitFor(int milliseconds) {
    std::unique_lock<std::mutex> guard(lock);
    if (!signal.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return set; }))
        return false;
    set = false;
    return true;
}

TcpIngestServer::TcpIngestServer() {
    queue = QueueCreate(sizeof(LineRecord*), kQueueCapacity);
    workerThread = std::thread(&TcpIngestServer::WorkerMain, this);
}

TcpIngestServer::~TcpIngestServer() {
    // The network thread feeds the queue, so it ends first (the owner has normally stopped it
    // already); a late one is still served by the worker until it is gone.
    Stop();
    WaitForNetworkThreads();
    workerRunning = 0;
    queueEvent.Set();
    workerThread.join();
    QueueDestroy(queue);
    queue = nullptr;
}

namespace {

// Sends one 32-bit word whole. A fresh connection's send buffer always has room for it, so a
// short send means the connection is broken.
int SendWord(SocketHandle socket, int32_t value) {
    unsigned char word[4];
    PutInt32(word, value);
    return SocketSend(socket, word, 4) == 4;
}

}  // namespace

int TcpIngestServer::OnOpen(SocketHandle socket, OpeningState& state) {
    state = OpeningState();
    return SendWord(socket, kOpeningChallenge) ? kOpeningGoesOn : kRefuse;
}

int TcpIngestServer::OnOpeningBytes(SocketHandle socket, OpeningState& state) {
    // Only the reply's own bytes are taken: whatever follows it stays for the frame cutting.
    unsigned char bytes[4];
    int got = SocketReceive(socket, bytes, 4 - state.have);
    if (got == 0 || (got < 0 && !SocketWouldBlock()))
        return kRefuse;
    int used = 0;
    int reply = TakeOpeningReply(state.bytes, &state.have, bytes, got > 0 ? got : 0, &used);
    if (reply < 0)
        return kOpeningGoesOn;
    if (reply == 1)
        return kAdmit;
    SendWord(socket, kVerdictRefused);
    return kRefuse;
}

int TcpIngestServer::OnAdmit(SocketHandle socket) {
    return SendWord(socket, kVerdictAccepted);
}

void TcpIngestServer::OnFrame(FrameBuffer& frame) {
    if (frame.FrameType() != FRAME_TEXT_LINE)
        return;
    if (frame.PayloadLength() < 4)
        return;
    LineRecord* record = new (std::nothrow) LineRecord;
    if (record == nullptr)
        return;
    int32_t camera = 0;
    frame.ReadInt32(&camera);
    record->camera = camera;
    std::snprintf(record->peer, sizeof record->peer, "%s", FramePeer());
    int length = frame.PayloadLength() - 4;
    int cutOff = 0;
    if (length > LineRecord::kMaxText) {
        cutOff = length - LineRecord::kMaxText;
        if (cutOff > kCardMaxSpan)
            cutOff = kCardMaxSpan;
        length = LineRecord::kMaxText;
    }
    char text[LineRecord::kMaxText + 1];
    if (frame.Read(text, length) != length)
        length = 0;
    text[length] = 0;
    if (length > 0 && cutOff > 0 && frame.Read(record->afterCut, cutOff) == cutOff)
        record->afterCut[cutOff] = 0;
    else
        record->afterCut[0] = 0;
    record->text = new (std::nothrow) char[static_cast<size_t>(length) + 1];
    if (record->text == nullptr) {
        delete record;
        return;
    }
    std::memcpy(record->text, text, static_cast<size_t>(length) + 1);
    QueueLine(record);
}

void TcpIngestServer::QueueLine(LineRecord* record) {
    while (!QueuePush(queue, &record)) {
        if (queue == nullptr || !workerRunning.load()) {
            FreeRecord(record);
            return;
        }
        // Ask the worker for room, then try once more before sleeping, so a pop between the
        // failed push and the request is not missed.
        roomWanted = 1;
        if (QueuePush(queue, &record))
            break;
        std::unique_lock<std::mutex> guard(roomLock);
        roomSignal.wait_for(guard, std::chrono::milliseconds(kRoomWaitMilliseconds),
                            [this] { return roomWanted.load() == 0; });
    }
    queueEvent.Set();
}

void TcpIngestServer::SetLineHandler(LineHandler handler) {
    std::lock_guard<std::mutex> guard(lineLock);
    lineHandler = std::move(handler);
}

void TcpIngestServer::SetLinePattern(int camera, int patternFlags, const char* patternText) {
    if (camera < 1 || camera > kCameras)
        return;
    std::lock_guard<std::mutex> guard(lineLock);
    lineStates[camera - 1].SetPattern(patternFlags, patternText);
}

void TcpIngestServer::HandOn(LineRecord& record) {
    std::unique_lock<std::mutex> guard(lineLock);
    if (!lineHandler) {
        guard.unlock();
        linePeer = record.peer;
        lineAfterCut = record.afterCut;
        Notify(EVT_LINE_RECEIVED, record.camera, record.text);
        linePeer = "";
        lineAfterCut = "";
        return;
    }
    if (record.camera < 1 || record.camera > kCameras)
        return;
    int flags = 0;
    // Line assembly takes at most two bytes off the end (the line's end characters, or whatever
    // stands there). They and what was cut off go to the owner as what followed the line.
    char* text = record.text;
    size_t received = std::strlen(text);
    size_t tailLength = received < 2 ? received : 2;
    char tail[2];
    std::memcpy(tail, text + received - tailLength, tailLength);
    lineStates[record.camera - 1].Assemble(text, flags);
    guard.unlock();
    size_t removed = received - std::strlen(text);
    char after[2 + kCardMaxSpan + 1];
    bool cut = received == static_cast<size_t>(LineRecord::kMaxText);
    std::snprintf(after, sizeof after, "%.*s%s", static_cast<int>(removed), tail + tailLength - removed,
                  cut ? record.afterCut : "");
    lineHandler(record.camera, flags, record.peer, text, after);
}

void TcpIngestServer::FreeRecord(LineRecord* record) {
    if (record == nullptr)
        return;
    delete[] record->text;
    delete record;
}

void TcpIngestServer::WorkerMain(TcpIngestServer* server) {
    server->WorkerLoop();
}

void TcpIngestServer::WorkerLoop() {
    while (workerRunning.load()) {
        if (queueEvent.WaitFor(kWorkerWaitMilliseconds))
            DeliverQueued(false);
    }
    // Lines the server had accepted before it was destroyed still go out, for a bounded time
    // (the owner keeps the overlay library open until the server is gone).
    DeliverQueued(true);
    for (void* front; (front = QueueFront(queue)) != nullptr; QueuePop(queue)) {
        LineRecord* record;
        std::memcpy(&record, front, sizeof record);
        FreeRecord(record);
    }
}

void TcpIngestServer::DeliverQueued(bool finishing) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFinishMilliseconds);
    for (;;) {
        if (finishing ? std::chrono::steady_clock::now() > deadline : !workerRunning.load())
            return;
        void* front = QueueFront(queue);
        if (front == nullptr)
            return;
        LineRecord* record;
        std::memcpy(&record, front, sizeof record);
        HandOn(*record);
        FreeRecord(record);
        QueuePop(queue);
        // Wake a waiting network thread once half the queue is free again, so it refills in
        // bursts rather than one line per wake-up.
        if (roomWanted.load() && QueueCount(queue) <= kQueueCapacity / 2) {
            {
                std::lock_guard<std::mutex> guard(roomLock);
                roomWanted = 0;
            }
            roomSignal.notify_one();
        }
    }
}
