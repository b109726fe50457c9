// TCP mode's half of capture: creating, restarting and stopping the server that TCP mode owns.
#include <new>

#include "capture/channel_capture.h"
#include "config/channel_table.h"
#include "delivery/line_delivery.h"
#include "platform/os.h"
#include "tcp/tcp_ingest_server.h"

void ChannelCapture::CreateTcpServer() {
    tcpServer.reset(new (std::nothrow) TcpIngestServer);
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

int ChannelCapture::StartTcpCapture() {
    if (tcpServer == nullptr)
        return 1;
    for (int i = 0; i < kChannelCount; ++i)
        tcpServer->SetLinePattern(i + 1, table.channels[i].patternFlags, table.channels[i].patternText);
    RestartTcpServer();
    return 1;
}

int ChannelCapture::StopTcpCapture() {
    if (tcpServer != nullptr)
        tcpServer->Stop();
    return 1;
}

void ChannelCapture::RestartTcpServer() {
    tcpServer->Stop();
    tcpServer->SetSenderRules(table.tcpListenAddress, table.tcpAllowedSenders);
    tcpServer->SetIdleLimit(table.slotIdleSeconds * 1000);
    if (tcpServer->Start(table.GetTcpPort()) != 0) {
        zamri::ShowMessage("TCP Server is not started.", "Error", zamri::kMsgIconError);
    }
}
