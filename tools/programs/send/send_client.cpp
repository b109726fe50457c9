#include "send_client.h"

#include <chrono>

#include "tcp/wire_protocol.h"

using namespace zamri;

namespace {
using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}
}  // namespace

SendClient::SendClient() : socketsStarted(SocketStartup()) {}

SendClient::~SendClient() {
    Close();
    if (socketsStarted)
        SocketCleanup();
}

int SendClient::Connect(const char* host, int port) {
    Close();
    socket = SocketConnect(host, port);
    return socket != kInvalidSocket;
}

int SendClient::OpeningExchange(int timeoutMilliseconds, const int32_t* reply) {
    unsigned char word[4];
    if (ReceiveBytes(word, 4, timeoutMilliseconds) != 4)
        return -1;
    int32_t answer = reply != nullptr ? *reply : OpeningReply(GetInt32(word));
    PutInt32(word, answer);
    if (!SendBytes(word, 4))
        return -1;
    if (ReceiveBytes(word, 4, timeoutMilliseconds) != 4)
        return -1;
    return GetInt32(word) == kVerdictAccepted ? 1 : 0;
}

int SendClient::SendTextLine(int32_t camera, const char* text, int length) {
    unsigned char frame[kFrameBufferSize];
    int size = EncodeTextLineFrame(camera, text, length, frame, sizeof frame);
    return size > 0 && SendBytes(frame, size);
}

int SendClient::SendBytes(const void* data, int n) {
    if (socket == kInvalidSocket)
        return 0;
    const unsigned char* in = static_cast<const unsigned char*>(data);
    int sent = 0;
    while (sent < n) {
        int done = SocketSend(socket, in + sent, n - sent);
        if (done <= 0)
            return 0;
        sent += done;
    }
    return 1;
}

int SendClient::ReceiveBytes(void* data, int n, int timeoutMilliseconds) {
    if (socket == kInvalidSocket)
        return -1;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    unsigned char* out = static_cast<unsigned char*>(data);
    int have = 0;
    while (have < n) {
        int left = MillisecondsLeft(deadline);
        if (left == 0 || SocketWaitReadable(socket, left) != 1)
            return -1;
        int got = SocketReceive(socket, out + have, n - have);
        if (got <= 0)
            return -1;
        have += got;
    }
    return n;
}

int SendClient::WaitForClose(int timeoutMilliseconds) {
    if (socket == kInvalidSocket)
        return 1;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        int left = MillisecondsLeft(deadline);
        if (left == 0 || SocketWaitReadable(socket, left) != 1)
            return 0;
        char discard[256];
        if (SocketReceive(socket, discard, sizeof discard) <= 0)
            return 1;
    }
}

void SendClient::Close(bool abort) {
    if (socket == kInvalidSocket)
        return;
    if (abort) {
        SocketAbort(socket);
    } else {
        SocketClose(socket);
    }
    socket = kInvalidSocket;
}

void SendClient::ShutdownSend() {
    if (socket != kInvalidSocket)
        SocketShutdownSend(socket);
}
