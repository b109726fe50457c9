#include "tcp/socket_address.h"

#include "tcp/socket_seam.h"

#include <cstdint>
#include <cstdio>

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

bool SocketResolve(const char* host, int port, sockaddr_in* out) {
    if (host == nullptr || *host == 0 || port <= 0 || port > 65535)
        return false;
    if (SocketFillAddress(host, port, out))
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    *out = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
    out->sin_port = htons(static_cast<uint16_t>(port));
    freeaddrinfo(found);
    return true;
}

int SocketLookUpHost(const char* host, char* address, int size) {
    sockaddr_in found;
    if (!SocketResolve(host, 1, &found))
        return 0;
    SocketAddressText(found.sin_addr, address, size);
    return 1;
}

}  // namespace zamri
