// The running capture of the channels: a thread per enabled serial or network channel, or TCP
// mode's server, all handing their lines to the one delivery step. The channel table hands its
// capture members on to it; it reads the table's records and rules, never the other way round.
#pragma once

#include <cstdint>
#include <memory>

#include "capture/channel_run.h"
#include "config/capture_control.h"
#include "config/channel_config.h"

class ChannelTable;
class LineDelivery;
class TcpIngestServer;
namespace zamri {
struct FeedSample;
}

class ChannelCapture : public CaptureControl {
  public:
    // Gives itself to the table; delivery receives every line of every channel.
    ChannelCapture(ChannelTable& table, LineDelivery& delivery);
    // Capture stops, the TCP server and its worker go, and the table is told.
    ~ChannelCapture() override;
    ChannelCapture(const ChannelCapture&) = delete;
    ChannelCapture& operator=(const ChannelCapture&) = delete;

    void ModeSet(int mode) override;
    // By the table's mode: the serial capture threads, or the TCP server.
    int StartCapture() override;
    int StopCapture() override;
    int StartChannel(int index) override;
    int StopChannel(int index) override;
    int64_t PortFailingSince(int index) override;
    int64_t LineErrors(int index) override;
    int PauseChannelOnPort(const char* portName) override;
    int ResumeChannel(int index) override;
    int StartDump(const char* portName, const char* fileName) override;
    int StopDump(int index) override;

    // What the feed-health watch looks at now: each running channel's port and error counts,
    // every door's refusals, TCP mode's frames for unknown cameras. Any thread.
    void SampleHealth(zamri::FeedSample* sample);

    // TCP mode's server while the mode is TCP, else nullptr.
    TcpIngestServer* TcpServer() { return tcpServer.get(); }
    // Each channel's running capture, if any (see channel_run.h).
    ChannelRun runs[kChannelCount];

  private:
    int StartSerialCapture();
    int StopSerialCapture();
    int StartTcpCapture();
    int StopTcpCapture();
    void CreateTcpServer();
    // Stop, then Start on the table's port; "TCP Server is not started." when the start fails.
    void RestartTcpServer();

    ChannelTable& table;
    LineDelivery& delivery;
    std::unique_ptr<TcpIngestServer> tcpServer;
};
