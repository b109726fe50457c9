// One network channel: the source that its port name names (tcp://, listen://, printer://,
// udp://), served by one event loop on the channel's capture thread. Every connection carries
// its own state and deadline; the loop serves whichever socket is ready and sleeps without a
// time-out while nothing is due, so an idle channel costs no processor time. Each stream is
// decoded on a thread of its own (stream_decoder.h), so neither decoding nor the overlay ever
// holds the network side back.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "netsource/allowed_senders.h"
#include "netsource/port_name.h"
#include "netsource/stream_decoder.h"
#include "tcp/socket_seam.h"

class NetworkCapture {
  public:
    // A connect that takes longer than this counts as failed.
    static constexpr int kConnectTimeoutMilliseconds = 3000;
    // tcp:// connects again this long after the last attempt began.
    static constexpr int kReconnectMilliseconds = 1000;
    // A printer:// connection whose peer closed gets this long to send what is still queued.
    static constexpr int kFlushMilliseconds = 10000;
    // Bytes of a printer:// stream waiting for its decoder beyond which the decoder's copy is
    // dropped rather than slowing the relay (counted in DroppedBytes).
    static constexpr size_t kTapLimitBytes = 16u << 20;

    NetworkCapture(const char* portName, const DecoderSettings& settings, LineOutput& output);
    ~NetworkCapture();
    NetworkCapture(const NetworkCapture&) = delete;
    NetworkCapture& operator=(const NetworkCapture&) = delete;

    // The list of allowed senders (text as in the settings file); malformed entries are
    // reported on the error output. Call before Open.
    void SetAllowedSenders(const char* text);
    // Parses the port name and opens its listening socket; 1, or 0 when the name is malformed or
    // the port cannot be had. tcp:// only checks the name: connecting is the loop's work.
    int Open();
    // Runs the loop until RequestStop; then closes every socket and ends every stream.
    void Run();
    // Any thread, any time.
    void RequestStop();

    // The binary dump, as for a serial channel: OpenDump is 0 when portName is not this
    // channel's; otherwise the file is created or emptied and every byte that is decoded
    // (for printer://, what the till sends) goes to it as received. 1 even when the file could
    // not be made (nothing is written then).
    int OpenDump(const char* portName, const char* fileName);
    int CloseDump();

    const char* PortName() const { return portName; }
    int ListeningPort() const { return listeningPort.load(); }
    uint64_t RefusedCount() const { return refusedCount.load(); }
    uint64_t DroppedBytes() const { return droppedBytes.load(); }
    int OpenConnections() const { return openConnections.load(); }

  private:
    struct Connection;
    enum class SlotRole { kListener, kDatagram, kTill, kPrinter, kOutgoing };
    struct Slot {
        zamri::SocketHandle socket;
        SlotRole role;
        Connection* connection;
    };

    int AddSlot(zamri::SocketHandle socket, int kind, SlotRole role, Connection* connection);
    int SlotOf(zamri::SocketHandle socket) const;
    void RemoveSlot(zamri::SocketHandle socket);
    void Interest(zamri::SocketHandle socket, bool read, bool write);

    void Dispatch(const Slot& slot, const zamri::NetworkEvents& events);
    void Accept();
    void ReceiveDatagrams();
    void ReadStream(Connection& connection, bool closing);
    void RelayFrom(Connection& connection, bool fromTill, bool closing);
    void FlushTo(Connection& connection, bool toPrinter);
    void UpdateInterests(Connection& connection);
    void PrinterConnected(Connection& connection, int error);
    void OutgoingConnected(int error);
    void CloseConnection(Connection* connection);
    void StartOutgoing();
    void DropOutgoing();
    void RunDeadlines(int64_t now);
    int MillisecondsToNextDeadline(int64_t now) const;
    void ReapEnded();
    void ResumePaused();
    void Tap(Connection& connection, const unsigned char* data, size_t count);
    void Refuse(const char* peer);
    void Shutdown();
    std::unique_ptr<StreamDecoder> NewDecoder();
    void DumpBytes(const unsigned char* data, size_t count);

    char portName[kNetworkHostSize] = {};
    NetworkPortName name;
    DecoderSettings settings;
    LineOutput& output;
    bool socketsReady;  // the socket library is started (Windows) for this object's life
    AllowedSenders allowed;
    RefusalLog refusals;

    zamri::SocketWaitSet events;
    std::vector<Slot> slots;
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<std::unique_ptr<StreamDecoder>> ending;  // streams finishing their last lines
    zamri::SocketHandle listener = zamri::kInvalidSocket;

    // tcp://: the one outgoing connection; its stream is kept across reconnects.
    std::unique_ptr<Connection> outgoing;
    std::unique_ptr<StreamDecoder> sharedStream;  // tcp:// and udp://: one stream for the channel
    int64_t nextAttempt = 0;
    bool everConnected = false;

    std::atomic<bool> stopRequested{false};
    std::atomic<int> listeningPort{0};
    std::atomic<uint64_t> refusedCount{0};
    std::atomic<uint64_t> droppedBytes{0};
    std::atomic<int> openConnections{0};
    std::vector<unsigned char> buffer;

    std::mutex dumpLock;
    std::FILE* dump = nullptr;  // under dumpLock
    std::atomic<bool> dumping{false};
};
