#include "tcp/tcp_ingest_server.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/os.h"
#include "tcp/wire_protocol.h"

using namespace zamri;

TcpIngestServer::TcpIngestServer() {
    queue.Start([this](QueuedRecord& record) {
        HandOn(*record);
        record.reset();  // freed here, not under the queue's lock that the network thread needs
    });
}

TcpIngestServer::~TcpIngestServer() {
    // The network thread feeds the queue, so it ends first (the owner has normally stopped it
    // already); a late one is still served by the worker until it is gone. Lines the server had
    // accepted still go out, for a bounded time (the owner keeps the overlay library open until
    // the server is gone); the rest are freed with the queue.
    Stop();
    WaitForNetworkThreads();
    queue.Stop(kFinishMilliseconds);
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
    // A record the queue does not take (it has been stopped) is freed on the way out.
    queue.Push(QueuedRecord(record));
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
    if (record.camera < 1 || record.camera > kCameras) {
        ++unexpected.frames;
        unexpected.lastCamera = record.camera;
        std::snprintf(unexpected.lastPeer, sizeof unexpected.lastPeer, "%s", record.peer);
        return;
    }
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

TcpIngestServer::UnexpectedCameras TcpIngestServer::UnexpectedSoFar() {
    std::lock_guard<std::mutex> guard(lineLock);
    return unexpected;
}

void TcpIngestServer::FreeRecord::operator()(LineRecord* record) const {
    delete[] record->text;
    delete record;
}
