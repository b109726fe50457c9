// Creating, restarting, stopping and deleting the TCP server that TCP mode owns.
#include <new>

#include "config/channel_table.h"
#include "platform/os.h"
#include "tcp/tcp_ingest_server.h"

void ChannelTable::CreateTcpServer() {
    tcpServer = new (std::nothrow) TcpIngestServer;
    if (tcpServer == nullptr)
        return;
    // When Init fails every later Start reports "socket() error".
    tcpServer->Init(nullptr, nullptr);
    LineDelivery& lines = delivery;
    tcpServer->SetLineHandler(
        [&lines](int camera, int flags, const char* peer, const char* text, const char* after) {
            lines.Deliver(camera, flags, peer, text, after);
        });
}

void ChannelTable::DestroyTcpServer() {
    // Ends the worker, which delivers lines: the table's destructor calls this before the
    // delivery step and the overlay output go.
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
