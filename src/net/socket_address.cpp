#include "net/socket_address.h"

#include <cstdint>
#include <cstdio>

#include "net/socket_seam.h"

namespace zamri {

void SocketAddressText(const in_addr& address, char* out, int size) {
    if (out == nullptr || size <= 0)
        return;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
    std::snprintf(out, static_cast<size_t>(size), "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

bool SocketFillAddress(const char* address, int port, sockaddr_in* out) {
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (address == nullptr || *address == 0) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, address, &out->sin_addr) == 1;
}

int SocketResolveAll(const char* host, int port, bool datagram, sockaddr_in* out, int max,
                     std::string* error) {
    if (host == nullptr || *host == 0 || port <= 0 || port > 65535 || max <= 0) {
        if (error != nullptr)
            *error = std::string("cannot resolve ") + (host != nullptr ? host : "") + " (no such host)";
        return 0;
    }
    if (SocketFillAddress(host, port, out))
        return 1;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = datagram ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = datagram ? IPPROTO_UDP : IPPROTO_TCP;
    addrinfo* found = nullptr;
    int code = getaddrinfo(host, nullptr, &hints, &found);
    if (code != 0 || found == nullptr) {
        if (error != nullptr)
            *error = std::string("cannot resolve ") + host + " (" + SocketLookUpErrorText(code) + ")";
        return 0;
    }
    int count = 0;
    for (addrinfo* entry = found; entry != nullptr && count < max; entry = entry->ai_next) {
        out[count] = *reinterpret_cast<sockaddr_in*>(entry->ai_addr);
        out[count].sin_port = htons(static_cast<uint16_t>(port));
        ++count;
    }
    freeaddrinfo(found);
    return count;
}

bool SocketResolve(const char* host, int port, sockaddr_in* out) {
    return SocketResolveAll(host, port, false, out, 1) == 1;
}

int SocketLookUpHost(const char* host, char* address, int size) {
    sockaddr_in found;
    if (!SocketResolve(host, 1, &found))
        return 0;
    SocketAddressText(found.sin_addr, address, size);
    return 1;
}

}  // namespace zamri
