// Windows backend of the socket layer: Winsock 2.2 with one event object per socket
// (WSAEventSelect), one multiple-event wait over them (WSAWaitForMultipleEvents) and the
// network events read per slot (WSAEnumNetworkEvents).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <string>

#include "net/socket_address.h"
#include "net/socket_seam.h"

namespace zamri {

namespace {

// The system's words for a Winsock error code, without the full stop and line end.
std::string ErrorText(int code) {
    char text[256] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        text[--n] = 0;
    if (n == 0)
        std::snprintf(text, sizeof text, "error %d", code);
    return text;
}

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

SocketHandle Handle(SOCKET socket) {
    return socket == INVALID_SOCKET ? kInvalidSocket : static_cast<SocketHandle>(socket);
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

int SocketBindAddress(SocketHandle socket, const char* local, int port) {
    sockaddr_in address;
    if (port < 0 || port > 65535 || !SocketFillAddress(local, port, &address)) {
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
    SocketAddressText(address.sin_addr, peer, peerSize);
    return got;
}

int SocketSendTo(SocketHandle socket, const void* data, int n, const char* host, int port) {
    sockaddr_in address;
    if (!SocketResolve(host, port, &address))
        return -1;
    int sent = ::sendto(Native(socket), static_cast<const char*>(data), n, 0,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? -1 : sent;
}

SocketHandle SocketConnectFrom(const char* localAddress, const char* host, int port) {
    sockaddr_in local;
    sockaddr_in remote;
    if (!SocketFillAddress(localAddress, 0, &local) || !SocketResolve(host, port, &remote))
        return kInvalidSocket;
    SOCKET connected = ::socket(AF_INET, SOCK_STREAM, 0);
    if (connected == INVALID_SOCKET)
        return kInvalidSocket;
    if (::bind(connected, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(connected, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        closesocket(connected);
        return kInvalidSocket;
    }
    BOOL one = TRUE;
    setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return Handle(connected);
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
    SocketAddressText(address.sin_addr, peer, peerSize);
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

int SocketPendingBytes(SocketHandle socket) {
    u_long pending = 0;
    if (ioctlsocket(Native(socket), FIONREAD, &pending) != 0)
        return -1;
    return pending > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(pending);
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
    sockaddr_in addresses[kMostHostAddresses];
    int count = SocketResolveAll(host, port, false, addresses, kMostHostAddresses);
    SOCKET connected = INVALID_SOCKET;
    for (int i = 0; i < count; ++i) {
        connected = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (connected == INVALID_SOCKET)
            continue;
        if (::connect(connected, reinterpret_cast<sockaddr*>(&addresses[i]), sizeof addresses[i]) == 0)
            break;
        closesocket(connected);
        connected = INVALID_SOCKET;
    }
    if (connected == INVALID_SOCKET)
        return kInvalidSocket;
    BOOL one = TRUE;
    setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return Handle(connected);
}

SocketHandle SocketConnectWithin(const char* host, int port, bool datagram, int connectMilliseconds,
                                 int sendTimeoutMilliseconds, std::string* error) {
    sockaddr_in remote;
    if (SocketResolveAll(host, port, datagram, &remote, 1, error) != 1)
        return kInvalidSocket;
    SOCKET s = ::socket(AF_INET, datagram ? SOCK_DGRAM : SOCK_STREAM, datagram ? IPPROTO_UDP : IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *error = ErrorText(WSAGetLastError());
        return kInvalidSocket;
    }
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    int rc = ::connect(s, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    int code = rc == 0 ? 0 : WSAGetLastError();
    if (rc != 0 && code == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit{connectMilliseconds / 1000, (connectMilliseconds % 1000) * 1000};
        int ready = ::select(0, nullptr, &writable, &failed, &limit);
        if (ready == 0) {
            code = WSAETIMEDOUT;
        } else if (ready > 0 && FD_ISSET(s, &failed)) {
            int length = sizeof code;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length);
            if (code == 0)
                code = WSAECONNREFUSED;
        } else if (ready > 0) {
            code = 0;
        } else {
            code = WSAGetLastError();
        }
    }
    if (code != 0) {
        *error = ErrorText(code);
        closesocket(s);
        return kInvalidSocket;
    }
    u_long off = 0;
    ioctlsocket(s, FIONBIO, &off);
    DWORD limit = static_cast<DWORD>(sendTimeoutMilliseconds);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    return Handle(s);
}

int SocketPeerClosed(SocketHandle socket) {
    SOCKET s = Native(socket);
    char scrap[512];
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval now{0, 0};
        int ready = ::select(0, &readable, nullptr, nullptr, &now);
        if (ready == 0)
            return 0;
        if (ready < 0)
            return 1;
        int n = ::recv(s, scrap, sizeof scrap, 0);
        if (n <= 0)
            return 1;
    }
}

std::string SocketErrorText() {
    return ErrorText(WSAGetLastError());
}

std::string SocketLookUpErrorText(int code) {
    return ErrorText(code);
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(Native(socket), SD_SEND);
}

int SocketConnectBegin(SocketHandle socket, const char* host, int port) {
    sockaddr_in remote;
    if (!SocketResolve(host, port, &remote))
        return -1;
    int result = ::connect(Native(socket), reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    int error = result == 0 ? 0 : WSAGetLastError();
    BOOL one = TRUE;
    setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (result == 0)
        return 1;
    WSASetLastError(error);
    return error == WSAEWOULDBLOCK ? 0 : -1;
}

// One wait covers at most 64 event objects, so slots share them: slot s is signalled through
// group s % 64. A signalled group is remembered by Wait, which resets its object at once, and
// Take then asks each socket of the group for its own events (the events are recorded per
// socket, the object only wakes). Take asks without resetting the object: were each ask to
// reset it, events that reach one socket of a group after it was asked and before the other
// was would be left recorded with the object reset, and nothing would announce them again.
//
// A listener is announced once per accept that takes a connection: under wine an accept that
// finds none does not enable the announcement again, nor does selecting the events anew, and a
// readiness it noticed late can announce a connection that the accept before had already
// taken. From then on the listener would stay silent whatever came, so one whose announcement
// found no connection waiting is asked itself at every turn, with waits of at most
// kListenerRecheckMilliseconds, until a connection waits again.
constexpr DWORD kListenerRecheckMilliseconds = 100;

struct SocketWaitSet::Impl {
    static constexpr int kGroups = WSA_MAXIMUM_WAIT_EVENTS;
    WSAEVENT groups[kGroups];
    bool signalled[kGroups] = {};
    bool attached[kMaxWaitSlots] = {};
    // A write watch just turned on: reported once without waiting, as Winsock reports room to
    // send only after a send found none.
    bool writeDue[kMaxWaitSlots] = {};
    // A listener that may not announce its next connection (see above).
    bool askListener[kMaxWaitSlots] = {};
    bool ready = true;
};

SocketWaitSet::SocketWaitSet() : impl(new Impl) {
    for (WSAEVENT& event : impl->groups) {
        event = WSACreateEvent();
        if (event == WSA_INVALID_EVENT)
            impl->ready = false;
    }
}

SocketWaitSet::~SocketWaitSet() {
    for (WSAEVENT event : impl->groups) {
        if (event != WSA_INVALID_EVENT)
            WSACloseEvent(event);
    }
    delete impl;
}

int SocketWaitSet::IsReady() const {
    return impl->ready ? 1 : 0;
}

int SocketWaitSet::Attach(int slot, SocketHandle socket, int watch) {
    if (slot < 0 || slot >= kMaxWaitSlots || !impl->ready)
        return 0;
    impl->attached[slot] = true;
    impl->writeDue[slot] = false;
    impl->askListener[slot] = false;
    if (!Change(slot, socket, watch)) {
        impl->attached[slot] = false;
        return 0;
    }
    return 1;
}

int SocketWaitSet::Change(int slot, SocketHandle socket, int watch) {
    if (slot < 0 || slot >= kMaxWaitSlots || !impl->attached[slot])
        return 0;
    long wanted = 0;
    if (watch & kWatchAccept)
        wanted |= FD_ACCEPT;
    if (watch & kWatchRead)
        wanted |= FD_READ | FD_CLOSE;
    if (watch & kWatchWrite)
        wanted |= FD_WRITE | FD_CONNECT;
    // Selecting events also makes the socket non-blocking.
    if (WSAEventSelect(Native(socket), impl->groups[slot % Impl::kGroups], wanted) != 0)
        return 0;
    impl->writeDue[slot] = (watch & kWatchWrite) != 0;
    if (!(watch & kWatchAccept))
        impl->askListener[slot] = false;
    return 1;
}

void SocketWaitSet::Detach(int slot) {
    if (slot < 0 || slot >= kMaxWaitSlots)
        return;
    impl->attached[slot] = false;
    impl->writeDue[slot] = false;
    impl->askListener[slot] = false;
}

int SocketWaitSet::Wait(int count, int milliseconds) {
    if (count < 0 || count > kMaxWaitSlots || !impl->ready)
        return -1;
    int groups = count < Impl::kGroups ? count : Impl::kGroups;
    if (groups == 0)
        groups = 1;  // group 0 also carries Wake
    for (bool& flag : impl->signalled)
        flag = false;
    DWORD limit = milliseconds < 0 ? WSA_INFINITE : static_cast<DWORD>(milliseconds);
    bool askListeners = false;
    for (int slot = 0; slot < count; ++slot) {
        if (impl->writeDue[slot])
            limit = 0;
        if (impl->askListener[slot])
            askListeners = true;
    }
    if (askListeners && limit > kListenerRecheckMilliseconds)
        limit = kListenerRecheckMilliseconds;
    DWORD result = WSAWaitForMultipleEvents(static_cast<DWORD>(groups), impl->groups, FALSE, limit, FALSE);
    if (result == WSA_WAIT_TIMEOUT)
        return limit == 0 || askListeners ? 1 : 0;
    if (result < WSA_WAIT_EVENT_0 || result >= WSA_WAIT_EVENT_0 + static_cast<DWORD>(groups))
        return -1;
    // The wait names the lowest signalled group; the others are found by looking at each.
    int first = static_cast<int>(result - WSA_WAIT_EVENT_0);
    impl->signalled[first] = true;
    for (int g = first + 1; g < groups; ++g) {
        if (WSAWaitForMultipleEvents(1, &impl->groups[g], FALSE, 0, FALSE) == WSA_WAIT_EVENT_0)
            impl->signalled[g] = true;
    }
    // Reset before the sockets are asked, so that whatever comes after that sets the object
    // again for the next wait. Group 0 (which Wake shares) is reset in any case; its sockets
    // are always asked.
    WSAResetEvent(impl->groups[0]);
    for (int g = 1; g < groups; ++g) {
        if (impl->signalled[g])
            WSAResetEvent(impl->groups[g]);
    }
    return 1;
}

int SocketWaitSet::Take(int slot, SocketHandle socket, NetworkEvents* events) {
    *events = NetworkEvents();
    if (slot < 0 || slot >= kMaxWaitSlots || !impl->attached[slot])
        return 0;
    int group = slot % Impl::kGroups;
    if (impl->writeDue[slot]) {
        impl->writeDue[slot] = false;
        events->write = 1;
    }
    // Group 0 is always asked: Wait reset its object, which Wake shares.
    if (impl->signalled[group] || group == 0) {
        WSANETWORKEVENTS found;
        if (WSAEnumNetworkEvents(Native(socket), nullptr, &found) == 0) {
            if (found.lNetworkEvents & FD_ACCEPT) {
                events->accept = 1;
                events->acceptError = found.iErrorCode[FD_ACCEPT_BIT];
                impl->askListener[slot] = SocketWaitReadable(socket, 0) != 1;
            }
            if (found.lNetworkEvents & FD_READ) {
                events->read = 1;
                events->readError = found.iErrorCode[FD_READ_BIT];
            }
            if (found.lNetworkEvents & FD_CLOSE) {
                events->close = 1;
                events->closeError = found.iErrorCode[FD_CLOSE_BIT];
            }
            if (found.lNetworkEvents & FD_WRITE) {
                events->write = 1;
                events->writeError = found.iErrorCode[FD_WRITE_BIT];
            }
            if (found.lNetworkEvents & FD_CONNECT) {
                events->write = 1;
                events->writeError = found.iErrorCode[FD_CONNECT_BIT];
            }
        }
    }
    if (impl->askListener[slot] && !events->accept && SocketWaitReadable(socket, 0) == 1) {
        impl->askListener[slot] = false;  // the accept that takes it announces the next one again
        events->accept = 1;
    }
    return events->accept || events->read || events->close || events->write;
}

void SocketWaitSet::Wake() {
    if (impl->groups[0] != WSA_INVALID_EVENT)
        WSASetEvent(impl->groups[0]);
}

}  // namespace zamri
