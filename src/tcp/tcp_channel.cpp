// The channel table's side of TCP mode: capture start and stop, and the server's events.
#include <mutex>

#include "config/channel_table.h"
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
    {
        std::lock_guard<std::mutex> guard(tcpLineLock);
        channels[camera - 1].tcpLine.Assemble(text, flags);
    }
    delivery.Deliver(static_cast<int>(camera), flags, tcpServer != nullptr ? tcpServer->LinePeer() : "",
                     text);
    return 0;
}
