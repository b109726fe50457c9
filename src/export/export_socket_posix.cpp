#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "export/export_socket.h"

namespace zamri {

SocketHandle ExportConnect(const char* host, int port, bool datagram, int timeoutMilliseconds,
                           int sendTimeoutMilliseconds, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
    addrinfo* found = nullptr;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    int resolved = getaddrinfo(host, service, &hints, &found);
    if (resolved != 0 || found == nullptr) {
        *error = std::string("cannot resolve ") + host + " (" + gai_strerror(resolved) + ")";
        return kInvalidSocket;
    }
    int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0) {
        *error = std::strerror(errno);
        freeaddrinfo(found);
        return kInvalidSocket;
    }
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rc = ::connect(fd, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    if (rc != 0 && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, timeoutMilliseconds);
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

int ExportPeerClosed(SocketHandle socket) {
    char scrap[512];
    for (;;) {
        ssize_t n = ::recv(static_cast<int>(socket), scrap, sizeof scrap, MSG_DONTWAIT);
        if (n > 0)
            continue;
        if (n == 0)
            return 1;
        return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : 1;
    }
}

std::string ExportErrorText() {
    return std::strerror(errno);
}

std::string ExportHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

int ExportProcessId() {
    return static_cast<int>(getpid());
}

}  // namespace zamri
