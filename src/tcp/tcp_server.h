// The TCP listener and its client connections: one network thread runs an EventLoop over the
// listener, up to 63 clients and the connections still in their opening exchange, cuts
// complete frames out of each client's byte stream and hands them to OnFrame. Derived classes
// run the opening exchange (OnOpen, OnOpeningBytes, OnAdmit) and handle frames. The exchange
// is kept per connection and driven by the loop, so a silent or slow peer never holds another.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "net/admission_gate.h"
#include "net/idle_slots.h"
#include "net/socket_seam.h"
#include "tcp/frame_buffer.h"
#include "tcp/server_events.h"

// Where one connection's opening exchange stands; kept between the loop's turns.
struct OpeningState {
    int step = 0;
    int have = 0;  // bytes of the current answer received so far
    unsigned char bytes[16] = {};
};

// The bytes of one connection that do not yet form a complete frame.
struct ClientBuffer {
    int used = 0;
    char peer[zamri::kAddressTextSize] = {};  // the connection's peer address, from the accept
    unsigned char data[zamri::kFrameBufferSize] = {};
};

// Owns the socket library's start-up and the owner's event callback.
class SocketBase {
  public:
    SocketBase() = default;
    virtual ~SocketBase();
    SocketBase(const SocketBase&) = delete;
    SocketBase& operator=(const SocketBase&) = delete;

    // Handles one complete frame; nothing here.
    virtual void OnFrame(FrameBuffer& frame) {}

    // Starts the socket library (Winsock 2.2 exactly) and keeps owner and callback. 1 or 0.
    int Init(void* owner, ServerEventFn callback);

  protected:
    // Calls the owner's callback when one is set.
    void Notify(int code, intptr_t arg, char* text);

    // Set once by Init, read by the server's threads.
    std::atomic<void*> owner{nullptr};
    std::atomic<ServerEventFn> eventCallback{nullptr};
    std::atomic<int> socketsReady{0};
};

class TcpServer : public SocketBase {
  public:
    // ReceiveFrom's result for a connection that can never deliver another frame (a header
    // announcing more than the buffer holds); the network thread closes it.
    static constexpr int kReceiveBroken = -1;
    // OpeningTimeout's value for an exchange without a bound.
    static constexpr int kNoTimeout = -1;
    // Results of the opening-exchange steps.
    static constexpr int kRefuse = 0;
    static constexpr int kAdmit = 1;
    static constexpr int kOpeningGoesOn = 2;
    // Connections in their opening exchange at one time; a newer one closes the oldest.
    static constexpr int kMaxOpening = zamri::kMaxWaitSlots - zamri::kMaxSocketSlots;
    // Pending connections the system queues for the listener: the whole loop's worth.
    static constexpr int kListenBacklog = zamri::kMaxWaitSlots;

    TcpServer();
    ~TcpServer() override;

    // The opening exchange, run a step at a time on the network thread; none of them may
    // block. OnOpen starts it on a new connection (for instance by sending a challenge);
    // OnOpeningBytes is called each time the connection is readable while the exchange goes
    // on. Both return kAdmit, kRefuse (the connection is closed) or kOpeningGoesOn. On kAdmit
    // the server checks for a free client slot and then calls OnAdmit (which may still send
    // the verdict; 0 closes the connection); a full table closes the connection instead, as
    // any 64th client is. Here every connection is admitted at once.
    virtual int OnOpen(zamri::SocketHandle socket, OpeningState& state) { return kAdmit; }
    virtual int OnOpeningBytes(zamri::SocketHandle socket, OpeningState& state) { return kRefuse; }
    virtual int OnAdmit(zamri::SocketHandle socket) { return 1; }
    // The whole exchange must end within this many milliseconds (kNoTimeout: no bound).
    virtual int OpeningTimeout() const { return kNoTimeout; }

    // 0 when the server listens on port and its network thread runs; -2 after a failure
    // already shown ("socket() error" or "bind() error", caption "error").
    int Start(int port);
    // Before Start: the local IPv4 address to listen on (empty: every one) and the senders let
    // in (empty: everyone; see allowed_senders.h). Others are closed at once, counted, and
    // reported on the error output once a minute per address.
    void SetSenderRules(const char* listenAddress, const char* allowedSenders);
    uint64_t RefusedSenders() const { return gate.RefusedSenders(); }
    // Ends the network thread, which closes every connection. Always 1.
    int Stop();

    // The port the running listener is bound to (useful after Start(0)), else 0.
    int ListeningPort() const { return listeningPort.load(); }
    // Clients connected right now (read by any thread).
    int ClientCount() const { return clientCount.load(); }
    // 1 while the "Maximum Client( 64 )" notice is on screen; a refusal then shows no second one.
    int CapacityNoticeShowing() const { return noticeShowing->load(); }
    // Each of Stop's five waits for the network thread lasts this long (2,000 ms); tests shorten it.
    void SetStopWait(int milliseconds) { stopWait = milliseconds; }
    // When all 63 client slots are taken, a connection that completes the opening exchange takes
    // the slot of the client that has been silent longest, if that one has sent nothing for
    // longer than this (default a minute; 0: nobody gives way and the newcomer is refused).
    // Any thread, any time.
    void SetIdleLimit(int milliseconds) { gate.SetIdleLimit(milliseconds); }
    // Clients closed so far to make room that way.
    uint64_t ClientsReplaced() const { return gate.Replaced(); }

    // Connections in their opening exchange right now (read by any thread).
    int OpeningCount() const { return openingCount.load(); }

    // Connections that never became clients: not an allowed sender, the opening exchange failed
    // or ran out of time, or no client slot was free. How many so far, and the last one's
    // address and time.
    using RefusalSummary = zamri::AdmissionGate::Summary;
    RefusalSummary RefusalsSoFar() const { return gate.RefusalsSoFar(); }

    // Receives once into the connection's buffer, then hands over every complete frame in
    // arrival order. 1, 0 when the receive failed, kReceiveBroken when the connection must go.
    int ReceiveFrom(zamri::SocketHandle socket, ClientBuffer& clientBuffer);
    // The frame cutting alone: hands every complete frame at the front of the buffer to
    // OnFrame and keeps the rest. 1, or kReceiveBroken when the front frame can never fit.
    int DeliverFrames(ClientBuffer& clientBuffer);

  protected:
    // The peer address of the connection whose frame OnFrame is handling (on the thread that
    // calls OnFrame, during the call); "" otherwise.
    static const char* FramePeer();

    // The destructor of a derived class calls this before it tears down what OnFrame uses: a
    // network thread that outlived Stop still calls the handlers until it ends.
    void WaitForNetworkThreads();

  private:
    struct NetworkRun;
    class Listener;
    class Connection;
    static void NetworkThreadMain(TcpServer* server, std::shared_ptr<NetworkRun> run);
    void NetworkLoop(NetworkRun& run);
    // Accepts one pending connection into the loop; 0 when there was none.
    int AcceptClient(NetworkRun& run);
    void RefuseClient(NetworkRun& run, zamri::SocketHandle accepted);
    void NoteRefused(const char* peer) { gate.NoteRefused(peer); }
    void CloseOldestOpening(NetworkRun& run);
    // The admitted client that gives its slot to a newcomer, or -1 (see SetIdleLimit).
    int IdleClient(NetworkRun& run, int64_t* silentFor = nullptr);
    // Closes that client (what it had sent is still delivered) for the newcomer from peer.
    void ReplaceIdleClient(NetworkRun& run, int id, int64_t silentFor, const char* newcomer);
    void SetClientCount(NetworkRun& run);
    // Receives once into the buffer's free room; bytes received (0: end of stream), -1 failure,
    // kReceiveBroken - 1 when the buffer is full.
    int ReceiveOnce(zamri::SocketHandle socket, ClientBuffer& clientBuffer);
    void ShowCapacityNotice();
    int FailStart(zamri::SocketHandle socket, const char* message);

    // The running network thread's slot table and stop flag. Each Start makes a new one, so a
    // thread that outlived Stop keeps its own table and flag and never shares them with the next.
    std::shared_ptr<NetworkRun> networkThread;
    char listenAddress[16] = {};
    // Who gets in, and what is counted and told of those who do not; its list is set before
    // Start and read by the network thread only.
    zamri::AdmissionGate gate{"TCP server"};
    std::atomic<int> listeningPort{0};
    // Written by the current run only: a run that Stop let go no longer reports.
    std::mutex countLock;
    std::atomic<int> clientCount{0};
    std::atomic<int> openingCount{0};
    std::atomic<int> liveNetworkThreads{0};
    std::atomic<int> stopWait{2000};

    // The "Maximum Client( 64 )" notice is shown on a thread of its own, so a message box never
    // holds the network thread; one box at a time.
    std::mutex noticeLock;
    std::shared_ptr<std::atomic<int>> noticeShowing;
};
