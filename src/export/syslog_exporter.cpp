#include "export/syslog_exporter.h"

#include <algorithm>
#include <chrono>

#include "net/socket_seam.h"

namespace zamri {

SyslogExporter::SyslogExporter(const SyslogCollector& target, TroubleReport troubleReport,
                               RecoveryReport recoveryReport)
    : collector(target), trouble(std::move(troubleReport)), recovery(std::move(recoveryReport)) {
    socketsStarted = SocketStartup();
}

SyslogExporter::~SyslogExporter() {
    CloseConnection();
    if (socketsStarted)
        SocketCleanup();
}

int64_t SyslogExporter::SteadyNowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SyslogExporter::GiveUpAt(int64_t steadyMilliseconds) {
    {
        std::lock_guard<std::mutex> guard(waitLock);
        giveUpAt.store(steadyMilliseconds);
    }
    waitWake.notify_all();
}

bool SyslogExporter::Pause(int milliseconds) {
    std::unique_lock<std::mutex> guard(waitLock);
    int64_t until = std::min(SteadyNowMilliseconds() + milliseconds, giveUpAt.load());
    while (SteadyNowMilliseconds() < until) {
        waitWake.wait_for(guard, std::chrono::milliseconds(until - SteadyNowMilliseconds()));
        until = std::min(until, giveUpAt.load());
    }
    return SteadyNowMilliseconds() < giveUpAt.load();
}

void SyslogExporter::CloseConnection() {
    if (socket != kInvalidSocket)
        SocketClose(socket);
    socket = kInvalidSocket;
    connected.store(false);
}

void SyslogExporter::Trouble(const std::string& what) {
    if (!troubled && trouble)
        trouble("Syslog: " + what + "; lines wait in the export buffer and are sent when it is back");
    troubled = true;
}

int SyslogExporter::Connect(std::string* error) {
    int64_t left = giveUpAt.load() - SteadyNowMilliseconds();
    int limit = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(kConnectMilliseconds, left)));
    socket = SocketConnectWithin(collector.host.c_str(), collector.port, collector.datagram, limit,
                                 kSendMilliseconds, error);
    if (socket == kInvalidSocket) {
        *error = "cannot reach the collector " + DescribeCollector(collector) + " (" + *error + ")";
        return 0;
    }
    connected.store(true);
    return 1;
}

int SyslogExporter::Probe() {
    std::string error;
    if (socket != kInvalidSocket || Connect(&error))
        return 1;
    Trouble(error);
    return 0;
}

int SyslogExporter::TrySend(const std::string& data, std::string* error) {
    if (socket == kInvalidSocket) {
        if (!Connect(error))
            return 0;
    } else if (!collector.datagram && SocketPeerClosed(socket)) {
        // The collector closed the connection (stopped, restarted): a message written now
        // would vanish, so connect again first.
        CloseConnection();
        return TrySend(data, error);
    }
    size_t done = 0;
    while (done < data.size()) {
        int n = SocketSend(socket, data.data() + done, static_cast<int>(data.size() - done));
        if (n <= 0) {
            *error = "lost the collector " + DescribeCollector(collector) + " (" + SocketErrorText() + ")";
            CloseConnection();
            return 0;
        }
        done += static_cast<size_t>(n);
    }
    return 1;
}

int SyslogExporter::Send(const std::string& message) {
    frame.clear();
    if (collector.datagram)
        frame = message;
    else
        AppendOctetCounted(message, &frame);
    return Deliver(frame, 1);
}

int SyslogExporter::SendFrames(const std::string& frames, int messages) {
    return Deliver(frames, messages);
}

int SyslogExporter::Deliver(const std::string& data, int messages) {
    int delay = kFirstRetryMilliseconds;
    for (;;) {
        std::string error;
        if (TrySend(data, &error)) {
            sent.fetch_add(static_cast<uint64_t>(messages));
            if (troubled) {
                troubled = false;
                if (recovery)
                    recovery();
            }
            return 1;
        }
        Trouble(error);
        if (!Pause(delay)) {
            lost.fetch_add(static_cast<uint64_t>(messages));
            return 0;
        }
        delay = std::min(delay * 2, kLongestRetryMilliseconds);
    }
}

}  // namespace zamri
