// The socket layer's contract: everything the network fronts (TCP mode's server, the network
// channels, the syslog export) and the senders need from the platform. Two backends implement
// it: socket_seam_win32.cpp (Winsock 2.2 with event objects) and socket_seam_posix.cpp (epoll).
// Names are looked up in one place (socket_address.h). Everything above this header is shared.
//
// Results follow the program's conventions: 1 success, 0 failure; byte counts or -1.
#pragma once

#include <cstdint>
#include <string>

namespace zamri {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// The listener and 63 clients: the framed TCP server's table (and Winsock's limit of one wait).
constexpr int kMaxSocketSlots = 64;
constexpr int kAddressTextSize = 16;  // "255.255.255.255" and a NUL

// Windows: WSAStartup asking for 2.2; 0 unless exactly 2.2 was granted. Linux: always 1.
int SocketStartup();
// Pairs with a successful SocketStartup.
void SocketCleanup();
// The platform's error code of the last failed call on this thread (kept for messages).
int SocketLastError();

// An IPv4 stream socket, or kInvalidSocket.
SocketHandle SocketOpenStream();
// Binds to every local address and port (0 picks a free port). Linux sets SO_REUSEADDR first
// so that a restart is not refused by old connections in TIME_WAIT (Windows binds those
// without it); a port that another socket listens on is refused on both.
int SocketBindAny(SocketHandle socket, int port);
int SocketListen(SocketHandle socket, int backlog);
// The local port, or -1.
int SocketLocalPort(SocketHandle socket);
// Accepts one pending connection; the new socket is non-blocking. peer receives the peer's
// IPv4 address as dotted decimal text. kInvalidSocket when nothing could be accepted.
SocketHandle SocketAccept(SocketHandle listener, char* peer, int peerSize);
// Bytes received (0: the peer closed), or -1 (SocketWouldBlock() tells a mere empty socket).
int SocketReceive(SocketHandle socket, void* data, int n);
// Bytes sent, or -1. Never raises a signal.
int SocketSend(SocketHandle socket, const void* data, int n);
// Whether the last failed receive or send on this thread found the socket not ready.
int SocketWouldBlock();
// 1 when the socket becomes readable (data, end of stream or error) within the time, 0 on
// time-out, -1 on failure.
int SocketWaitReadable(SocketHandle socket, int milliseconds);
// Bytes received and not read yet (0 also after the end of the stream), or -1.
int SocketPendingBytes(SocketHandle socket);
void SocketClose(SocketHandle socket);
// Closes with a reset instead of an orderly shutdown.
void SocketAbort(SocketHandle socket);

// Binds to one local IPv4 address (dotted text; null or empty: every local address) and port,
// as SocketBindAny does otherwise. A stream or a datagram socket.
int SocketBindAddress(SocketHandle socket, const char* address, int port);
// An IPv4 datagram socket, or kInvalidSocket.
SocketHandle SocketOpenDatagram();
// Takes one datagram (cut to n bytes) with its sender's address as dotted text; its length
// (0 for an empty one), or -1 (SocketWouldBlock() tells a mere empty socket).
int SocketReceiveFrom(SocketHandle socket, void* data, int n, char* peer, int peerSize);
// Sends one datagram to host:port (a name or a dotted IPv4 address); its length or -1.
int SocketSendTo(SocketHandle socket, const void* data, int n, const char* host, int port);

// Client side (senders and tests): a blocking socket connected to host:port (a name or a
// dotted IPv4 address), or kInvalidSocket.
SocketHandle SocketConnect(const char* host, int port);
// The same from a chosen local address (a second loopback address stands for another host).
SocketHandle SocketConnectFrom(const char* localAddress, const char* host, int port);
// Half-closes the sending direction: the peer sees the end of the stream.
void SocketShutdownSend(SocketHandle socket);

// A blocking socket connected to host:port (a name or a dotted IPv4 address): TCP, given at
// most connectMilliseconds to connect, or UDP (datagram). Sends give up after
// sendTimeoutMilliseconds, so a peer that stops reading cannot hold the sender for ever.
// kInvalidSocket on failure, with the reason in error.
SocketHandle SocketConnectWithin(const char* host, int port, bool datagram, int connectMilliseconds,
                                 int sendTimeoutMilliseconds, std::string* error);
// 1 when a connected TCP socket's peer has closed or reset the connection (anything it sent is
// read and thrown away), 0 while it is open. Does not wait.
int SocketPeerClosed(SocketHandle socket);
// The reason of the last failed socket call on this thread, as text.
std::string SocketErrorText();

// What the platform reported for one slot since the last look, with each event's error code.
// write also reports the end of a connect begun with SocketConnectBegin (writeError: its
// failure).
struct NetworkEvents {
    int accept = 0;
    int read = 0;
    int close = 0;
    int write = 0;
    int acceptError = 0;
    int readError = 0;
    int closeError = 0;
    int writeError = 0;
};

// What a slot is watched for (combined with |). kWatchRead includes the end of the stream and
// resets; kWatchWrite reports room to send (and a finished connect).
constexpr int kWatchAccept = 1;
constexpr int kWatchRead = 2;
constexpr int kWatchWrite = 4;

// The most sockets one wait set (and so one event loop) serves: a listener, 63 clients and as
// many connections still in their opening exchange.
constexpr int kMaxWaitSlots = 2 * kMaxSocketSlots;

// Starts a connect of a socket already attached to a wait set (so it is non-blocking): 1
// connected at once, 0 under way (a write event tells the end), -1 failed. host is a name or a
// dotted IPv4 address; the name lookup itself blocks (host_lookup.h looks names up aside).
int SocketConnectBegin(SocketHandle socket, const char* host, int port);

// The first IPv4 address of host (a name or dotted text) as dotted text; 1, or 0 when the
// name does not resolve. Blocks for as long as the name servers take.
int SocketLookUpHost(const char* host, char* address, int size);

// The notification objects of up to kMaxWaitSlots sockets, one per slot. Owned by one network
// thread; Wake may be called from any thread while the object lives. Slots need not be
// contiguous: a free slot is simply not watched.
class SocketWaitSet {
  public:
    SocketWaitSet();
    ~SocketWaitSet();
    SocketWaitSet(const SocketWaitSet&) = delete;
    SocketWaitSet& operator=(const SocketWaitSet&) = delete;

    // 1 when the object could be set up (Linux: its wake-up pipe).
    int IsReady() const;
    // Watches socket in slot for the kinds in watch (kWatchAccept, kWatchRead, kWatchWrite).
    // Also makes the socket non-blocking. 1, or 0 when the platform refused.
    int Attach(int slot, SocketHandle socket, int watch);
    // Changes what an attached slot is watched for. Turning kWatchWrite on reports a write
    // event at the next look, so a sender always gets one chance to fill the socket.
    int Change(int slot, SocketHandle socket, int watch);
    // Stops watching the slot; called right before or after its socket was closed.
    void Detach(int slot);
    // Waits until a slot below count is ready, Wake is called, or milliseconds pass (-1: no
    // limit). 1 when something is ready or it was woken, 0 on time-out, -1 on failure.
    int Wait(int count, int milliseconds);
    // Reads and resets the slot's pending events after a Wait; 1 when there were any.
    int Take(int slot, SocketHandle socket, NetworkEvents* events);
    // Makes a Wait in progress (or the next one) return.
    void Wake();

  private:
    struct Impl;
    Impl* impl;
};

}  // namespace zamri
