// The TCP listener and its client connections: one network thread serves the listener (slot
// 0) and up to 63 clients, cuts complete frames out of each connection's byte stream and hands
// them to OnFrame. Derived classes decide on new connections (OnAccept) and handle frames.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "netsource/allowed_senders.h"
#include "tcp/frame_buffer.h"
#include "tcp/server_events.h"
#include "tcp/socket_seam.h"

// The bytes of one connection that do not yet form a complete frame.
struct ClientBuffer {
    int used = 0;
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
    // Bound of each opening-exchange step unless a derived class asks otherwise.
    static constexpr int kNoTimeout = -1;

    TcpServer();
    ~TcpServer() override;

    // Nonzero keeps the new connection. Runs on the network thread.
    virtual int OnAccept(zamri::SocketHandle socket) { return 1; }

    // 0 when the server listens on port and its network thread runs; -2 after a failure
    // already shown ("socket() error" or "bind() error", caption "error").
    int Start(int port);
    // Before Start: the local IPv4 address to listen on (empty: every one) and the senders let
    // in (empty: everyone; see allowed_senders.h). Others are closed at once, counted, and
    // reported on the error output once a minute per address.
    void SetSenderRules(const char* listenAddress, const char* allowedSenders);
    uint64_t RefusedSenders() const { return refusedSenders.load(); }
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

    // n, -1 on failure, on the end of the stream or when timeoutMilliseconds (kNoTimeout: none)
    // passed first, -2 for an invalid socket.
    int RecvExact(zamri::SocketHandle socket, void* buffer, int n, int timeoutMilliseconds = kNoTimeout);
    // n, or -1 on failure or time-out.
    int SendAll(zamri::SocketHandle socket, const void* data, int n, int timeoutMilliseconds = kNoTimeout);

    // Receives once into the connection's buffer, then hands over every complete frame in
    // arrival order. 1, 0 when the receive failed, kReceiveBroken when the connection must go.
    int ReceiveFrom(zamri::SocketHandle socket, ClientBuffer& clientBuffer);
    // The frame cutting alone: hands every complete frame at the front of the buffer to
    // OnFrame and keeps the rest. 1, or kReceiveBroken when the front frame can never fit.
    int DeliverFrames(ClientBuffer& clientBuffer);

  protected:
    // The destructor of a derived class calls this before it tears down what OnFrame uses: a
    // network thread that outlived Stop still calls the handlers until it ends.
    void WaitForNetworkThreads();

  private:
    struct NetworkRun;
    static void NetworkThreadMain(TcpServer* server, std::shared_ptr<NetworkRun> run);
    void NetworkLoop(NetworkRun& run);
    void AcceptClient(NetworkRun& run);
    // Counts and reports a refused sender.
    void RefuseSender(const char* peer);
    void RefuseClient(NetworkRun& run);
    void RemoveClient(NetworkRun& run, int slot, bool drain);
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
    AllowedSenders allowedSenders;  // read by the network thread only after Start
    RefusalLog refusals;            // network thread
    std::atomic<uint64_t> refusedSenders{0};
    std::atomic<int> listeningPort{0};
    // Written by the current run only: a run that Stop let go no longer reports.
    std::mutex countLock;
    std::atomic<int> clientCount{0};
    std::atomic<int> liveNetworkThreads{0};
    std::atomic<int> stopWait{2000};

    // The "Maximum Client( 64 )" notice is shown on a thread of its own, so a message box never
    // holds the network thread; one box at a time.
    std::mutex noticeLock;
    std::shared_ptr<std::atomic<int>> noticeShowing;
};
