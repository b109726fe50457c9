// Windows backend of the socket layer: Winsock 2.2 with one event object per socket
// (WSAEventSelect), one multiple-event wait over them (WSAWaitForMultipleEvents) and the
// network events read per slot (WSAEnumNetworkEvents).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>

#include "tcp/socket_seam.h"

namespace zamri {

namespace {

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

SocketHandle Handle(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
}

void AddressText(const in_addr& address, char* out, int size) {
    if (out == nullptr || size <= 0)
        return;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
    std::snprintf(out, static_cast<size_t>(size), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

// address: dotted IPv4 text, or null/empty for every local address.
bool FillAddress(const char* address, int port, sockaddr_in* out) {
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<u_short>(port));
    if (address == nullptr || *address == 0) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, address, &out->sin_addr) == 1;
}

// The first IPv4 address of host (a name or dotted text).
bool Resolve(const char* host, int port, sockaddr_in* out) {
    if (host == nullptr || *host == 0 || port <= 0 || port > 65535)
        return false;
    if (FillAddress(host, port, out))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    *out = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    out->sin_port = htons(static_cast<u_short>(port));
    freeaddrinfo(found);
    return true;
}

void NoDelay(SOCKET socket) {
    BOOL one = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

}  // namespace

int SocketStartup() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return 0;
    if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
        WSACleanup();
        return 0;
    }
    return 1;
}

void SocketCleanup() {
    WSACleanup();
}

int SocketLastError() {
    return WSAGetLastError();
}

SocketHandle SocketOpenStream() {
    return Handle(::socket(AF_INET, SOCK_STREAM, 0));
}

int SocketBindAny(SocketHandle socket, int port) {
    return SocketBindAddress(socket, nullptr, port);
}

int SocketBindAddress(SocketHandle socket, const char* local, int port) {
    sockaddr_in address;
    if (port < 0 || port > 65535 || !FillAddress(local, port, &address)) {
        WSASetLastError(WSAEINVAL);
        return 0;
    }
    return ::bind(Native(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

SocketHandle SocketOpenDatagram() {
    return Handle(::socket(AF_INET, SOCK_DGRAM, 0));
}

int SocketReceiveFrom(SocketHandle socket, void* data, int n, char* peer, int peerSize) {
    sockaddr_in address{};
    int length = sizeof address;
    int got = ::recvfrom(Native(socket), static_cast<char*>(data), n, 0,
                         reinterpret_cast<sockaddr*>(&address), &length);
    if (got == SOCKET_ERROR) {
        // A datagram longer than the buffer arrives cut, as on Linux.
        if (WSAGetLastError() != WSAEMSGSIZE)
            return -1;
        got = n;
    }
    AddressText(address.sin_addr, peer, peerSize);
    return got;
}

int SocketSendTo(SocketHandle socket, const void* data, int n, const char* host, int port) {
    sockaddr_in address;
    if (!Resolve(host, port, &address))
        return -1;
    int sent = ::sendto(Native(socket), static_cast<const char*>(data), n, 0,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int SocketListen(SocketHandle socket, int backlog) {
    return ::listen(Native(socket), backlog) == 0;
}

int SocketLocalPort(SocketHandle socket) {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

SocketHandle SocketAccept(SocketHandle listener, char* peer, int peerSize) {
    sockaddr_in address{};
    int length = sizeof address;
    // The new socket inherits the listener's non-blocking mode and event selection; the caller
    // selects its own events for it.
    SOCKET accepted = ::accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &length);
    if (accepted == INVALID_SOCKET)
        return kInvalidSocket;
    AddressText(address.sin_addr, peer, peerSize);
    return Handle(accepted);
}

int SocketReceive(SocketHandle socket, void* data, int n) {
    int got = ::recv(Native(socket), static_cast<char*>(data), n, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

int SocketSend(SocketHandle socket, const void* data, int n) {
    int sent = ::send(Native(socket), static_cast<const char*>(data), n, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int SocketWouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

int SocketWaitReadable(SocketHandle socket, int milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(Native(socket), &readable);
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    int result = ::select(0, &readable, nullptr, nullptr, milliseconds < 0 ? nullptr : &limit);
    return result == SOCKET_ERROR ? -1 : (result > 0 ? 1 : 0);
}

void SocketClose(SocketHandle socket) {
    if (socket != kInvalidSocket)
        closesocket(Native(socket));
}

void SocketAbort(SocketHandle socket) {
    if (socket == kInvalidSocket)
        return;
    linger hard{1, 0};
    setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    closesocket(Native(socket));
}

SocketHandle SocketConnect(const char* host, int port) {
    if (host == nullptr || port <= 0 || port > 65535)
        return kInvalidSocket;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    if (getaddrinfo(host, service, &hints, &found) != 0 || found == nullptr)
        return kInvalidSocket;
    SOCKET connected = INVALID_SOCKET;
    for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        connected = ::socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
        if (connected == INVALID_SOCKET)
            continue;
        if (::connect(connected, entry->ai_addr, static_cast<int>(entry->ai_addrlen)) == 0)
            break;
        closesocket(connected);
        connected = INVALID_SOCKET;
    }
    freeaddrinfo(found);
    if (connected == INVALID_SOCKET)
        return kInvalidSocket;
    BOOL one = TRUE;
    setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return Handle(connected);
}

SocketHandle SocketConnectFrom(const char* localAddress, const char* host, int port) {
    sockaddr_in local;
    sockaddr_in remote;
    if (!FillAddress(localAddress, 0, &local) || !Resolve(host, port, &remote))
        return kInvalidSocket;
    SOCKET connected = ::socket(AF_INET, SOCK_STREAM, 0);
    if (connected == INVALID_SOCKET)
        return kInvalidSocket;
    if (::bind(connected, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(connected, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        closesocket(connected);
        return kInvalidSocket;
    }
    NoDelay(connected);
    return Handle(connected);
}

SocketHandle SocketConnectStart(const char* host, int port, int* pending) {
    *pending = 0;
    sockaddr_in remote;
    if (!Resolve(host, port, &remote))
        return kInvalidSocket;
    SOCKET connecting = ::socket(AF_INET, SOCK_STREAM, 0);
    if (connecting == INVALID_SOCKET)
        return kInvalidSocket;
    u_long nonBlocking = 1;
    ioctlsocket(connecting, FIONBIO, &nonBlocking);
    NoDelay(connecting);
    if (::connect(connecting, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0)
        return Handle(connecting);
    if (WSAGetLastError() == WSAEWOULDBLOCK) {
        *pending = 1;
        return Handle(connecting);
    }
    closesocket(connecting);
    return kInvalidSocket;
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(Native(socket), SD_SEND);
}

struct SocketWaitSet::Impl {
    WSAEVENT events[kMaxSocketSlots];
    // Its own event, so that waking needs no socket in any slot; waited on after the slots.
    WSAEVENT wake = WSA_INVALID_EVENT;
};

SocketWaitSet::SocketWaitSet() : impl(new Impl) {
    for (WSAEVENT& event : impl->events)
        event = WSA_INVALID_EVENT;
    impl->wake = WSACreateEvent();
}

SocketWaitSet::~SocketWaitSet() {
    for (WSAEVENT event : impl->events) {
        if (event != WSA_INVALID_EVENT)
            WSACloseEvent(event);
    }
    if (impl->wake != WSA_INVALID_EVENT)
        WSACloseEvent(impl->wake);
    delete impl;
}

int SocketWaitSet::IsReady() const {
    return impl->wake != WSA_INVALID_EVENT;
}

namespace {

long EventsFor(int kind) {
    switch (kind) {
        case kWatchAccept:
            return FD_ACCEPT;
        case kWatchConnect:
            return FD_CONNECT | FD_READ | FD_CLOSE;
        case kWatchDatagram:
            return FD_READ;
        default:
            return FD_READ | FD_CLOSE;
    }
}

}  // namespace

int SocketWaitSet::SetInterest(int slot, SocketHandle socket, int read, int write) {
    if (slot < 0 || slot >= kMaxSocketSlots || impl->events[slot] == WSA_INVALID_EVENT)
        return 0;
    // Selecting again records FD_READ and FD_WRITE at once when data waits or sending is
    // possible, so neither a resumed read nor a wanted write is missed.
    long wanted = FD_CLOSE | (read ? FD_READ : 0) | (write ? FD_WRITE : 0);
    return WSAEventSelect(Native(socket), impl->events[slot], wanted) == 0;
}

int SocketWaitSet::Attach(int slot, SocketHandle socket, int kind) {
    if (slot < 0 || slot >= kMaxSocketSlots)
        return 0;
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return 0;
    long wanted = EventsFor(kind);
    // Selecting events also makes the socket non-blocking.
    if (WSAEventSelect(Native(socket), event, wanted) != 0) {
        WSACloseEvent(event);
        return 0;
    }
    if (impl->events[slot] != WSA_INVALID_EVENT)
        WSACloseEvent(impl->events[slot]);
    impl->events[slot] = event;
    return 1;
}

void SocketWaitSet::Detach(int slot) {
    if (slot < 0 || slot >= kMaxSocketSlots)
        return;
    if (impl->events[slot] != WSA_INVALID_EVENT)
        WSACloseEvent(impl->events[slot]);
    impl->events[slot] = WSA_INVALID_EVENT;
}

void SocketWaitSet::Move(int from, int to) {
    if (from == to || from < 0 || to < 0 || from >= kMaxSocketSlots || to >= kMaxSocketSlots)
        return;
    if (impl->events[to] != WSA_INVALID_EVENT)
        WSACloseEvent(impl->events[to]);
    impl->events[to] = impl->events[from];
    impl->events[from] = WSA_INVALID_EVENT;
}

int SocketWaitSet::Wait(int count, int milliseconds) {
    if (count < 0 || count > kMaxSocketSlots)
        return -1;
    // The watched slots in order, then the wake event (a handle may appear only once).
    WSAEVENT waited[kMaxSocketSlots + 1];
    int slotOf[kMaxSocketSlots + 1];
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (impl->events[i] != WSA_INVALID_EVENT) {
            waited[n] = impl->events[i];
            slotOf[n++] = i;
        }
    }
    waited[n] = impl->wake;
    slotOf[n++] = count;
    DWORD limit = milliseconds < 0 ? WSA_INFINITE : static_cast<DWORD>(milliseconds);
    DWORD result = WSAWaitForMultipleEvents(static_cast<DWORD>(n), waited, FALSE, limit, FALSE);
    if (result == WSA_WAIT_TIMEOUT)
        return count;
    if (result >= WSA_WAIT_EVENT_0 && result < WSA_WAIT_EVENT_0 + static_cast<DWORD>(n)) {
        int slot = slotOf[result - WSA_WAIT_EVENT_0];
        if (slot == count)
            WSAResetEvent(impl->wake);
        return slot;
    }
    return -1;
}

int SocketWaitSet::Take(int slot, SocketHandle socket, NetworkEvents* events) {
    *events = NetworkEvents();
    if (slot < 0 || slot >= kMaxSocketSlots || impl->events[slot] == WSA_INVALID_EVENT)
        return 0;
    if (WSAWaitForMultipleEvents(1, &impl->events[slot], FALSE, 0, FALSE) != WSA_WAIT_EVENT_0)
        return 0;
    WSANETWORKEVENTS found;
    if (WSAEnumNetworkEvents(Native(socket), impl->events[slot], &found) != 0) {
        // The event stays signalled after a failed enumeration; reset it so the wait does not spin.
        WSAResetEvent(impl->events[slot]);
        return 0;
    }
    if (found.lNetworkEvents & FD_ACCEPT) {
        events->accept = 1;
        events->acceptError = found.iErrorCode[FD_ACCEPT_BIT];
    }
    if (found.lNetworkEvents & FD_READ) {
        events->read = 1;
        events->readError = found.iErrorCode[FD_READ_BIT];
    }
    if (found.lNetworkEvents & FD_CLOSE) {
        events->close = 1;
        events->closeError = found.iErrorCode[FD_CLOSE_BIT];
    }
    if (found.lNetworkEvents & FD_WRITE)
        events->write = 1;
    if (found.lNetworkEvents & FD_CONNECT) {
        events->connect = 1;
        events->connectError = found.iErrorCode[FD_CONNECT_BIT];
    }
    return 1;
}

void SocketWaitSet::Wake() {
    if (impl->wake != WSA_INVALID_EVENT)
        WSASetEvent(impl->wake);
}

}  // namespace zamri
