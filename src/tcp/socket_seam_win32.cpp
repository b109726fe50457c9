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
    if (port < 0 || port > 65535) {
        WSASetLastError(WSAEINVAL);
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<u_short>(port));
    return ::bind(Native(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
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

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(Native(socket), SD_SEND);
}

struct SocketWaitSet::Impl {
    WSAEVENT events[kMaxSocketSlots];
};

SocketWaitSet::SocketWaitSet() : impl(new Impl) {
    for (WSAEVENT& event : impl->events)
        event = WSA_INVALID_EVENT;
}

SocketWaitSet::~SocketWaitSet() {
    // Slot 0's event is closed only here: Wake may signal it until the object goes.
    for (WSAEVENT event : impl->events) {
        if (event != WSA_INVALID_EVENT)
            WSACloseEvent(event);
    }
    delete impl;
}

int SocketWaitSet::IsReady() const {
    return 1;
}

int SocketWaitSet::Attach(int slot, SocketHandle socket, int listener) {
    if (slot < 0 || slot >= kMaxSocketSlots)
        return 0;
    WSAEVENT event = WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        return 0;
    long wanted = listener ? FD_ACCEPT : (FD_READ | FD_CLOSE);
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
    if (slot <= 0 || slot >= kMaxSocketSlots)
        return;  // slot 0 lives until the destructor
    if (impl->events[slot] != WSA_INVALID_EVENT)
        WSACloseEvent(impl->events[slot]);
    impl->events[slot] = WSA_INVALID_EVENT;
}

void SocketWaitSet::Move(int from, int to) {
    if (from == to || from <= 0 || to <= 0 || from >= kMaxSocketSlots || to >= kMaxSocketSlots)
        return;
    if (impl->events[to] != WSA_INVALID_EVENT)
        WSACloseEvent(impl->events[to]);
    impl->events[to] = impl->events[from];
    impl->events[from] = WSA_INVALID_EVENT;
}

int SocketWaitSet::Wait(int count) {
    if (count <= 0 || count > kMaxSocketSlots)
        return -1;
    DWORD result =
        WSAWaitForMultipleEvents(static_cast<DWORD>(count), impl->events, FALSE, WSA_INFINITE, FALSE);
    if (result >= WSA_WAIT_EVENT_0 && result < WSA_WAIT_EVENT_0 + static_cast<DWORD>(count)) {
        return static_cast<int>(result - WSA_WAIT_EVENT_0);
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
    return 1;
}

void SocketWaitSet::Wake() {
    if (impl->events[0] != WSA_INVALID_EVENT)
        WSASetEvent(impl->events[0]);
}

}  // namespace zamri
