// The channel table's side of TCP mode: capture start and stop, and the server's events.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "config/channel_table.h"
#include "mask/card_mask.h"
#include "tcp/server_events.h"
#include "tcp/tcp_ingest_server.h"

int ChannelTable::StartTcpCapture() {
    for (int i = 0; i < kChannelCount; ++i) {
        std::lock_guard<std::mutex> guard(tcpLineLock);
        channels[i].tcpLine.SetPattern(channels[i].patternFlags, channels[i].patternText);
    }
    RestartTcpServer();
    return 1;
}

int ChannelTable::StopTcpCapture() {
    StopTcpServer();
    return 1;
}

int ChannelTable::ServerEventThunk(void* owner, int code, intptr_t arg, char* text) {
    if (owner == nullptr)
        return 0;
    return static_cast<ChannelTable*>(owner)->OnServerEvent(code, arg, text);
}

int ChannelTable::OnServerEvent(int code, intptr_t arg, char* text) {
    if (code != EVT_LINE_RECEIVED)
        return 0;
    intptr_t camera = arg;
    if (camera < 1 || camera > kChannelCount)
        return 0;
    int flags = 0;
    // Line assembly takes at most two bytes off the end (the line's end characters, or whatever
    // stands there). They and what the server cut off go to the delivery step as what followed
    // the line, so that a card number across the end is masked before the cut.
    size_t received = std::strlen(text);
    size_t tailLength = received < 2 ? received : 2;
    char tail[2];
    std::memcpy(tail, text + received - tailLength, tailLength);
    {
        std::lock_guard<std::mutex> guard(tcpLineLock);
        channels[camera - 1].tcpLine.Assemble(text, flags);
    }
    size_t removed = received - std::strlen(text);
    char after[2 + kCardMaxSpan + 1];
    bool cut = tcpServer != nullptr && received == static_cast<size_t>(LineRecord::kMaxText);
    std::snprintf(after, sizeof after, "%.*s%s", static_cast<int>(removed), tail + tailLength - removed,
                  cut ? tcpServer->LineAfterCut() : "");
    delivery.Deliver(static_cast<int>(camera), flags, tcpServer != nullptr ? tcpServer->LinePeer() : "", text,
                     after);
    return 0;
}
