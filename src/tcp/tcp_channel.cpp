// The channel table's side of TCP mode: capture start and stop.
#include "config/channel_table.h"
#include "tcp/tcp_ingest_server.h"

int ChannelTable::StartTcpCapture() {
    for (int i = 0; i < kChannelCount; ++i) {
        if (tcpServer != nullptr)
            tcpServer->SetLinePattern(i + 1, channels[i].patternFlags, channels[i].patternText);
    }
    RestartTcpServer();
    return 1;
}

int ChannelTable::StopTcpCapture() {
    StopTcpServer();
    return 1;
}
