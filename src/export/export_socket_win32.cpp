#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>

#include "export/export_socket.h"

namespace zamri {

namespace {

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

}  // namespace

SocketHandle ExportConnect(const char* host, int port, bool datagram, int timeoutMilliseconds,
                           int sendTimeoutMilliseconds, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = datagram ? IPPROTO_UDP : IPPROTO_TCP;
    addrinfo* found = nullptr;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    if (getaddrinfo(host, service, &hints, &found) != 0 || found == nullptr) {
        *error = std::string("cannot resolve ") + host + " (" + ErrorText(WSAGetLastError()) + ")";
        return kInvalidSocket;
    }
    SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s == INVALID_SOCKET) {
        *error = ErrorText(WSAGetLastError());
        freeaddrinfo(found);
        return kInvalidSocket;
    }
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
    int rc = ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen));
    freeaddrinfo(found);
    int code = rc == 0 ? 0 : WSAGetLastError();
    if (rc != 0 && code == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit{timeoutMilliseconds / 1000, (timeoutMilliseconds % 1000) * 1000};
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
    return static_cast<SocketHandle>(s);
}

int ExportPeerClosed(SocketHandle socket) {
    SOCKET s = static_cast<SOCKET>(socket);
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

std::string ExportErrorText() {
    return ErrorText(WSAGetLastError());
}

std::string ExportHostName() {
    char name[256] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size))
        return std::string();
    return name;
}

int ExportProcessId() {
    return static_cast<int>(GetCurrentProcessId());
}

}  // namespace zamri
