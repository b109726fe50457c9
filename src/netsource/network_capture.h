// One network channel: the source that its port name names (tcp://, listen://, printer://,
// udp://), served by the network event loop (tcp/event_loop.h) on the channel's capture thread.
// Every connection is a handler with its own state and deadline; the loop sleeps without a
// time-out while nothing is due, so an idle channel costs no processor time. Each stream is
// decoded on a thread of its own (stream_decoder.h), so neither decoding nor the overlay ever
// holds the network side back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "net/admission_gate.h"
#include "net/event_loop.h"
#include "net/host_lookup.h"
#include "net/idle_slots.h"
#include "net/port_name.h"
#include "netsource/stream_decoder.h"

class NetworkCapture {
  public:
    // A connect that takes longer than this counts as failed.
    static constexpr int kConnectTimeoutMilliseconds = 3000;
    // tcp:// connects again this long after the last attempt began.
    static constexpr int kReconnectMilliseconds = 1000;
    // A printer:// side whose peer closed gets this long to pass on what is still queued.
    static constexpr int kFlushMilliseconds = 10000;
    // Bytes of a printer:// channel's streams (or the udp:// stream) waiting for their decoders
    // beyond which the decoders' copy is dropped rather than slowing the relay (counted in
    // DroppedBytes).
    static constexpr size_t kTapLimitBytes = 16u << 20;
    // listen:// connections and printer:// relays of one channel served at once. When all are
    // taken, a newcomer takes the place of the one that has been silent longest, once that one
    // has been silent for longer than the idle limit; otherwise it is closed at once.
    static constexpr int kMaxConnections = 16;
    // Streams of one channel being decoded at once (a thread each), those of closed connections
    // included. At this many, listen:// accepts nobody (newcomers wait in the listener's
    // backlog) until one has ended, and printer:// relays new jobs without decoding them.
    // listen:// also waits so while all its connections are taken and some of them wait for
    // the decoders.
    static constexpr int kMaxStreams = 2 * kMaxConnections;

    NetworkCapture(const char* portName, const DecoderSettings& settings, LineOutput& output);
    ~NetworkCapture();
    NetworkCapture(const NetworkCapture&) = delete;
    NetworkCapture& operator=(const NetworkCapture&) = delete;

    // The list of allowed senders (text as in the settings file); malformed entries are
    // reported on the error output. Call before Open.
    void SetAllowedSenders(const char* text);
    // How long a connection must have been silent before it gives way to a newcomer when every
    // place is taken (default a minute; 0: never). Any thread, any time.
    void SetIdleLimit(int milliseconds) { gate.SetIdleLimit(milliseconds); }
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
    uint64_t RefusedCount() const { return gate.RefusedSenders(); }
    zamri::AdmissionGate::Summary RefusalsSoFar() const { return gate.RefusalsSoFar(); }
    uint64_t DroppedBytes() const { return droppedBytes.load(); }
    int OpenConnections() const { return openConnections.load(); }
    // Connections closed to make room for a newcomer, and newcomers closed because every place
    // was taken by connections that were not idle.
    uint64_t ConnectionsReplaced() const { return gate.Replaced(); }
    uint64_t TurnedAway() const { return gate.TurnedAway(); }
    // Undecoded bytes and streams (each a thread) of the channel now, and the most there were.
    size_t Backlog() const { return backlog.Bytes(); }
    size_t PeakBacklog() const { return backlog.PeakBytes(); }
    int Streams() const { return backlog.Streams(); }
    int PeakStreams() const { return backlog.PeakStreams(); }

  private:
    class ListenerSide;
    class DatagramSide;
    class StreamSide;
    class RelaySide;
    struct Relay;
    using Clock = zamri::EventLoop::Clock;

    void Accept(zamri::EventLoop& loop, int listenerId);
    // When every place is taken: closes the connection that has been silent longest, if it is
    // idle enough, for the newcomer from peer. false when nobody gives way.
    bool MakeRoom(zamri::EventLoop& loop, const char* peer);
    zamri::Silence* SilenceOf(int id);
    // listen:// stops accepting while decoding is too far behind.
    bool MustHoldAccepting();
    void TurnAway(const char* peer);
    void StartRelay(zamri::EventLoop& loop, zamri::SocketHandle till, const char* peer);
    void RelayFrom(zamri::EventLoop& loop, Relay& relay, bool fromTill, bool closing);
    void FlushRelay(zamri::EventLoop& loop, Relay& relay, bool toPrinter);
    void UpdateRelayWatches(zamri::EventLoop& loop, Relay& relay);
    void EndRelay(zamri::EventLoop& loop, Relay& relay, bool abortTill);
    void ReceiveDatagrams(zamri::SocketHandle socket);
    void ConnectPrinter(zamri::EventLoop& loop, const std::shared_ptr<Relay>& relay, const char* address);
    void StartOutgoing();
    void ConnectOutgoing(const char* address);
    void OutgoingEnded(int id);
    void ServeHostLookup();
    void Tap(Relay& relay, const unsigned char* data, size_t count);
    void Finished(std::unique_ptr<StreamDecoder> stream);
    void ResumePaused();
    void Shutdown();
    std::unique_ptr<StreamDecoder> NewDecoder();
    void DumpBytes(const unsigned char* data, size_t count);

    char portName[kNetworkHostSize] = {};
    NetworkPortName name;
    DecoderSettings settings;
    LineOutput& output;
    bool socketsReady;  // the socket library is started (Windows) for this object's life
    // Who may connect or send; counts and tells of those who may not, and of connections closed
    // or turned away when every one is in use (network thread, counts from any thread).
    zamri::AdmissionGate gate;

    // Outlives every stream, which counts itself in it until it is destroyed.
    ChannelBacklog backlog{[this] { loop.Wake(); }};
    // Declared before the streams: their threads wake the loop until they are joined.
    zamri::EventLoop loop;
    std::vector<std::unique_ptr<StreamDecoder>> ending;  // streams delivering their last lines
    std::unique_ptr<StreamDecoder> sharedStream;         // tcp:// and udp://: one per channel
    int pausedSides = 0;      // connections that stopped reading until the decoders catch up
    unsigned resumeTurn = 0;  // where the next resumption begins, so none is always last
    int listenerId = -1;
    bool acceptHeld = false;  // listen:// has stopped accepting until a stream has ended
    RefusalLog untappedLog;   // network thread: printer:// jobs relayed without decoding

    // tcp://: the one outgoing connection's handler id, and when the next attempt is due.
    int outgoingId = -1;
    Clock::time_point nextAttempt;
    bool everConnected = false;

    // tcp:// and printer:// to a host name: the name is looked up aside before each connect,
    // and these wait for the answer.
    bool hostIsName = false;
    zamri::HostLookup hostLookup;
    bool outgoingAwaitsHost = false;
    std::vector<std::shared_ptr<Relay>> relaysAwaitingHost;

    std::atomic<bool> stopRequested{false};
    std::atomic<int> listeningPort{0};
    std::atomic<uint64_t> droppedBytes{0};
    std::atomic<int> openConnections{0};
    std::vector<unsigned char> buffer;

    std::mutex dumpLock;
    std::FILE* dump = nullptr;  // under dumpLock
    std::atomic<bool> dumping{false};
};
