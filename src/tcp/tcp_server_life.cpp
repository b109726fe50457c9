// Creating, restarting, stopping and deleting the TCP server that TCP mode owns.
#include <new>

#include "config/channel_table.h"
#include "platform/os.h"
#include "tcp/tcp_ingest_server.h"

void ChannelTable::CreateTcpServer() {
    tcpServer = new (std::nothrow) TcpIngestServer;
    // When Init fails every later Start reports "socket() error".
    if (tcpServer != nullptr)
        tcpServer->Init(this, ServerEventThunk);
}

void ChannelTable::DestroyTcpServer() {
    // Ends the worker, which uses the overlay handle, its lock and the filter lists: the
    // table's destructor calls this before it releases those.
    delete tcpServer;
    tcpServer = nullptr;
}

void ChannelTable::RestartTcpServer() {
    if (tcpServer == nullptr)
        return;
    tcpServer->Stop();
    tcpServer->SetSenderRules(tcpListenAddress, tcpAllowedSenders);
    tcpServer->SetIdleLimit(slotIdleSeconds * 1000);
    if (tcpServer->Start(tcpPort) != 0) {
        zamri::ShowMessage("TCP Server is not started.", "Error", zamri::kMsgIconError);
    }
}

void ChannelTable::StopTcpServer() {
    if (tcpServer != nullptr)
        tcpServer->Stop();
}
