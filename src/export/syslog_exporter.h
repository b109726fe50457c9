// Sends syslog messages to one collector, over TCP (octet-counted frames) or UDP, from one
// thread (the syslog sink's worker). While the collector cannot be reached, Send keeps the
// message and tries again, waiting a little longer each time (up to kLongestRetryMilliseconds):
// the sink's bounded queue holds the lines that arrive meanwhile. Trouble is reported once
// when it starts and once when it ends.
//
// TCP: before each message the connection is checked for a close by the collector, so a
// collector that was stopped costs no message written into a dead connection. UDP cannot tell:
// datagrams sent while the collector is down are lost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "export/syslog_format.h"
#include "net/socket_seam.h"

namespace zamri {

class SyslogExporter {
  public:
    using TroubleReport = std::function<void(const std::string& message)>;
    // Called once when the collector is reached again after trouble (the sink adds what its
    // queue dropped meanwhile).
    using RecoveryReport = std::function<void()>;

    static constexpr int kConnectMilliseconds = 3000;
    static constexpr int kSendMilliseconds = 5000;
    static constexpr int kFirstRetryMilliseconds = 100;
    static constexpr int kLongestRetryMilliseconds = 5000;

    SyslogExporter(const SyslogCollector& collector, TroubleReport trouble = nullptr,
                   RecoveryReport recovery = nullptr);
    ~SyslogExporter();
    SyslogExporter(const SyslogExporter&) = delete;
    SyslogExporter& operator=(const SyslogExporter&) = delete;

    // Sends one message (unframed). 1 sent; 0 when the give-up time came first (the message
    // is counted as lost).
    int Send(const std::string& message);
    // TCP only: several messages already framed (AppendOctetCounted), in one write; the same
    // waiting, and all of them counted as sent or lost together.
    int SendFrames(const std::string& frames, int messages);

    // Connects now if not connected, so that a collector that cannot be reached is reported at
    // start-up rather than with the first line. 1 connected.
    int Probe();

    // From any thread: Send stops waiting for the collector at this steady-clock time
    // (milliseconds, as SteadyNowMilliseconds gives it) and from then on tries only once.
    void GiveUpAt(int64_t steadyMilliseconds);
    static int64_t SteadyNowMilliseconds();

    const SyslogCollector& Collector() const { return collector; }
    uint64_t SentMessages() const { return sent.load(); }
    uint64_t LostMessages() const { return lost.load(); }
    bool Connected() const { return connected.load(); }

  private:
    int Deliver(const std::string& data, int messages);
    int Connect(std::string* error);
    int TrySend(const std::string& frame, std::string* error);
    void CloseConnection();
    // Waits up to milliseconds or until the give-up time; false once it has come.
    bool Pause(int milliseconds);
    void Trouble(const std::string& what);

    SyslogCollector collector;
    TroubleReport trouble;
    RecoveryReport recovery;
    int socketsStarted = 0;
    SocketHandle socket = kInvalidSocket;
    bool troubled = false;
    std::string frame;
    std::mutex waitLock;
    std::condition_variable waitWake;
    std::atomic<int64_t> giveUpAt{INT64_MAX};
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> lost{0};
    std::atomic<bool> connected{false};
};

}  // namespace zamri
