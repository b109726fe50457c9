// Linux backend of the socket layer: BSD sockets, and epoll for the wait set (a wait costs the
// sockets that are ready, not every socket watched). A listener's readiness is an
// accept. A client that is readable with no hang-up reported (EPOLLRDHUP is asked for) has
// data waiting; only when the peer has ended or something broke is the socket looked at with
// a one-byte peek, so that "data waiting", "orderly close" and "reset" are told apart as
// Winsock's network events tell them, at no extra call per line received.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/socket_address.h"
#include "net/socket_seam.h"

namespace zamri {

namespace {

int SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int Fd(SocketHandle socket) {
    return static_cast<int>(socket);
}

}  // namespace

int SocketStartup() {
    return 1;
}

void SocketCleanup() {}

int SocketLastError() {
    return errno;
}

SocketHandle SocketOpenStream() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd >= 0 ? fd : kInvalidSocket;
}

int SocketBindAny(SocketHandle socket, int port) {
    if (port < 0 || port > 65535) {
        errno = EINVAL;
        return 0;
    }
    int one = 1;
    setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return ::bind(Fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

int SocketBindAddress(SocketHandle socket, const char* local, int port) {
    sockaddr_in address;
    if (port < 0 || port > 65535 || !SocketFillAddress(local, port, &address)) {
        errno = EINVAL;
        return 0;
    }
    // Stream sockets only: for datagrams it would let a second socket share the port.
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(Fd(socket), SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM) {
        int one = 1;
        setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    return ::bind(Fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

SocketHandle SocketOpenDatagram() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd >= 0 ? fd : kInvalidSocket;
}

int SocketReceiveFrom(SocketHandle socket, void* data, int n, char* peer, int peerSize) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ssize_t got;
    do {
        got = ::recvfrom(Fd(socket), data, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&address),
                         &length);
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return -1;
    SocketAddressText(address.sin_addr, peer, peerSize);
    return static_cast<int>(got);
}

int SocketSendTo(SocketHandle socket, const void* data, int n, const char* host, int port) {
    sockaddr_in address;
    if (!SocketResolve(host, port, &address))
        return -1;
    ssize_t sent;
    do {
        sent = ::sendto(Fd(socket), data, static_cast<size_t>(n), MSG_NOSIGNAL,
                        reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 ? static_cast<int>(sent) : -1;
}

SocketHandle SocketConnectFrom(const char* localAddress, const char* host, int port) {
    sockaddr_in local;
    sockaddr_in remote;
    if (!SocketFillAddress(localAddress, 0, &local) || !SocketResolve(host, port, &remote))
        return kInvalidSocket;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return kInvalidSocket;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return kInvalidSocket;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int SocketListen(SocketHandle socket, int backlog) {
    return ::listen(Fd(socket), backlog) == 0;
}

int SocketLocalPort(SocketHandle socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return -1;
    return ntohs(address.sin_port);
}

SocketHandle SocketAccept(SocketHandle listener, char* peer, int peerSize) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    int fd =
        ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0)
        return kInvalidSocket;
    SocketAddressText(address.sin_addr, peer, peerSize);
    return fd;
}

int SocketReceive(SocketHandle socket, void* data, int n) {
    ssize_t got;
    do {
        got = ::recv(Fd(socket), data, static_cast<size_t>(n), 0);
    } while (got < 0 && errno == EINTR);
    return got >= 0 ? static_cast<int>(got) : -1;
}

int SocketSend(SocketHandle socket, const void* data, int n) {
    ssize_t sent;
    do {
        sent = ::send(Fd(socket), data, static_cast<size_t>(n), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent >= 0 ? static_cast<int>(sent) : -1;
}

int SocketWouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

int SocketWaitReadable(SocketHandle socket, int milliseconds) {
    pollfd entry{Fd(socket), POLLIN, 0};
    int result;
    do {
        result = ::poll(&entry, 1, milliseconds);
    } while (result < 0 && errno == EINTR);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int SocketPendingBytes(SocketHandle socket) {
    int pending = 0;
    return ::ioctl(Fd(socket), FIONREAD, &pending) == 0 ? pending : -1;
}

void SocketClose(SocketHandle socket) {
    if (socket != kInvalidSocket)
        ::close(Fd(socket));
}

void SocketAbort(SocketHandle socket) {
    if (socket == kInvalidSocket)
        return;
    linger hard{1, 0};
    setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(Fd(socket));
}

SocketHandle SocketConnect(const char* host, int port) {
    sockaddr_in addresses[kMostHostAddresses];
    int count = SocketResolveAll(host, port, false, addresses, kMostHostAddresses);
    int fd = -1;
    for (int i = 0; i < count; ++i) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addresses[i]), sizeof addresses[i]) == 0)
            break;
        ::close(fd);
        fd = -1;
    }
    if (fd < 0)
        return kInvalidSocket;
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

SocketHandle SocketConnectWithin(const char* host, int port, bool datagram, int connectMilliseconds,
                                 int sendTimeoutMilliseconds, std::string* error) {
    sockaddr_in remote;
    if (SocketResolveAll(host, port, datagram, &remote, 1, error) != 1)
        return kInvalidSocket;
    int fd = ::socket(AF_INET, (datagram ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::strerror(errno);
        return kInvalidSocket;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, connectMilliseconds);
        if (rc == 0) {
            errno = ETIMEDOUT;
            rc = -1;
        } else if (rc > 0) {
            int code = 0;
            socklen_t length = sizeof code;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length);
            errno = code;
            rc = code == 0 ? 0 : -1;
        }
    }
    if (rc != 0) {
        *error = std::strerror(errno);
        ::close(fd);
        return kInvalidSocket;
    }
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    timeval limit{sendTimeoutMilliseconds / 1000, (sendTimeoutMilliseconds % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return fd;
}

int SocketPeerClosed(SocketHandle socket) {
    char scrap[512];
    for (;;) {
        ssize_t n = ::recv(Fd(socket), scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0)
            continue;
        if (n == 0)
            return 1;
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : 1;
    }
}

std::string SocketErrorText() {
    return std::strerror(errno);
}

std::string SocketLookUpErrorText(int code) {
    return gai_strerror(code);
}

void SocketShutdownSend(SocketHandle socket) {
    ::shutdown(Fd(socket), SHUT_WR);
}

int SocketConnectBegin(SocketHandle socket, const char* host, int port) {
    sockaddr_in remote;
    if (!SocketResolve(host, port, &remote))
        return -1;
    int result = ::connect(Fd(socket), reinterpret_cast<sockaddr*>(&remote), sizeof remote);
    int one = 1;
    setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (result == 0)
        return 1;
    return errno == EINPROGRESS ? 0 : -1;
}

struct SocketWaitSet::Impl {
    int epoll = -1;
    int wake = -1;               // an eventfd, watched behind the last slot
    int sockets[kMaxWaitSlots];  // the attached socket of each slot, -1 for none
    int watch[kMaxWaitSlots] = {};
    bool watched[kMaxWaitSlots] = {};    // registered with the epoll set
    uint32_t ready[kMaxWaitSlots] = {};  // what the last Wait found, until Take
    int readySlots[kMaxWaitSlots];       // the slots with something in ready, readyCount of them
    int readyCount = 0;
};

SocketWaitSet::SocketWaitSet() : impl(new Impl) {
    for (int& socket : impl->sockets)
        socket = -1;
    impl->epoll = epoll_create1(EPOLL_CLOEXEC);
    impl->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = kMaxWaitSlots;
    if (impl->epoll < 0 || impl->wake < 0 || epoll_ctl(impl->epoll, EPOLL_CTL_ADD, impl->wake, &event) != 0) {
        if (impl->epoll >= 0)
            ::close(impl->epoll);
        if (impl->wake >= 0)
            ::close(impl->wake);
        impl->epoll = impl->wake = -1;
    }
}

SocketWaitSet::~SocketWaitSet() {
    if (impl->epoll >= 0)
        ::close(impl->epoll);
    if (impl->wake >= 0)
        ::close(impl->wake);
    delete impl;
}

int SocketWaitSet::IsReady() const {
    return impl->epoll >= 0;
}

int SocketWaitSet::Attach(int slot, SocketHandle socket, int watch) {
    if (slot < 0 || slot >= kMaxWaitSlots || impl->epoll < 0 || !SetNonBlocking(Fd(socket)))
        return 0;
    if (impl->sockets[slot] >= 0)
        Detach(slot);
    impl->sockets[slot] = Fd(socket);
    if (!Change(slot, socket, watch)) {
        impl->sockets[slot] = -1;
        return 0;
    }
    return 1;
}

int SocketWaitSet::Change(int slot, SocketHandle socket, int watch) {
    if (slot < 0 || slot >= kMaxWaitSlots || impl->sockets[slot] != Fd(socket))
        return 0;
    uint32_t wanted = 0;
    if (watch & (kWatchAccept | kWatchRead))
        wanted |= EPOLLIN;
    if (watch & kWatchRead)
        wanted |= EPOLLRDHUP;
    if (watch & kWatchWrite)
        wanted |= EPOLLOUT;
    // A hang-up is reported even of a socket watched for nothing, which would wake every wait
    // while a reset connection's reading is paused: a slot watched for nothing leaves the set.
    int done = 0;
    if (wanted == 0) {
        if (impl->watched[slot])
            epoll_ctl(impl->epoll, EPOLL_CTL_DEL, Fd(socket), nullptr);
        impl->watched[slot] = false;
        done = 1;
    } else {
        epoll_event event{};
        event.events = wanted;
        event.data.u32 = static_cast<uint32_t>(slot);
        int op = impl->watched[slot] ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
        done = epoll_ctl(impl->epoll, op, Fd(socket), &event) == 0;
        impl->watched[slot] = done != 0;
    }
    impl->watch[slot] = watch;
    impl->ready[slot] = 0;  // what was found for the old watch does not count for the new one
    return done;
}

void SocketWaitSet::Detach(int slot) {
    if (slot < 0 || slot >= kMaxWaitSlots)
        return;
    // After a close the kernel has dropped the socket from the set already (EBADF then), and
    // its number may belong to a socket attached since to another slot: that one stays.
    int fd = impl->sockets[slot];
    bool reused = false;
    for (int other = 0; other < kMaxWaitSlots && fd >= 0 && !reused; ++other)
        reused = other != slot && impl->sockets[other] == fd;
    if (impl->watched[slot] && fd >= 0 && !reused)
        epoll_ctl(impl->epoll, EPOLL_CTL_DEL, fd, nullptr);
    impl->watched[slot] = false;
    impl->sockets[slot] = -1;
    impl->watch[slot] = 0;
    impl->ready[slot] = 0;
}

int SocketWaitSet::Wait(int count, int milliseconds) {
    if (count < 0 || count > kMaxWaitSlots || impl->epoll < 0)
        return -1;
    // What the last wait found and nobody took is looked at afresh (readiness is level-triggered).
    for (int i = 0; i < impl->readyCount; ++i)
        impl->ready[impl->readySlots[i]] = 0;
    impl->readyCount = 0;
    epoll_event events[kMaxWaitSlots + 1];
    for (;;) {
        int result =
            ::epoll_wait(impl->epoll, events, kMaxWaitSlots + 1, milliseconds < 0 ? -1 : milliseconds);
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            return -1;
        bool woken = false;
        for (int i = 0; i < result; ++i) {
            uint32_t slot = events[i].data.u32;
            if (slot == static_cast<uint32_t>(kMaxWaitSlots)) {
                woken = true;
                uint64_t drained;
                ssize_t ignored = ::read(impl->wake, &drained, sizeof drained);
                (void)ignored;
            } else if (static_cast<int>(slot) < count && impl->sockets[slot] >= 0 && impl->ready[slot] == 0) {
                impl->ready[slot] = events[i].events;
                impl->readySlots[impl->readyCount++] = static_cast<int>(slot);
            }
        }
        // Slots at and above count are left out of this wait, as with an explicit list of sockets.
        return woken || impl->readyCount > 0 ? 1 : 0;
    }
}

int SocketWaitSet::Take(int slot, SocketHandle socket, NetworkEvents* events) {
    *events = NetworkEvents();
    if (slot < 0 || slot >= kMaxWaitSlots || impl->sockets[slot] < 0)
        return 0;
    uint32_t revents = impl->ready[slot];
    impl->ready[slot] = 0;
    if (revents == 0)
        return 0;
    int watch = impl->watch[slot];
    if (watch & kWatchAccept) {
        events->accept = 1;
        return 1;
    }
    if ((watch & kWatchWrite) && (revents & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        events->write = 1;
        int error = 0;
        socklen_t length = sizeof error;
        if (revents & EPOLLERR)
            getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length);
        events->writeError = error;
    }
    if ((watch & kWatchRead) && (revents & (EPOLLERR | EPOLLHUP | EPOLLRDHUP)) == 0 && (revents & EPOLLIN)) {
        events->read = 1;
    } else if ((watch & kWatchRead) && (revents & (EPOLLIN | EPOLLERR | EPOLLHUP | EPOLLRDHUP))) {
        char byte;
        ssize_t peeked;
        do {
            peeked = ::recv(Fd(socket), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        } while (peeked < 0 && errno == EINTR);
        if (peeked > 0) {
            events->read = 1;
        } else if (peeked == 0) {
            events->close = 1;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            events->close = 1;
            events->closeError = errno;
        }
    }
    return events->accept || events->read || events->close || events->write;
}

void SocketWaitSet::Wake() {
    if (impl->wake < 0)
        return;
    uint64_t one = 1;
    ssize_t ignored = ::write(impl->wake, &one, sizeof one);
    (void)ignored;
}

}  // namespace zamri
