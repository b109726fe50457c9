// IPv4 address helpers that both socket backends share: Winsock and BSD sockets spell them alike
// once their headers are in.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

namespace zamri {

// Dotted text of an address into out (size bytes, always terminated when size > 0).
void SocketAddressText(const in_addr& address, char* out, int size);
// address: dotted IPv4 text, or null/empty for every local address.
bool SocketFillAddress(const char* address, int port, sockaddr_in* out);
// The first IPv4 address of host (a name or dotted text); a name is looked up, which may block.
bool SocketResolve(const char* host, int port, sockaddr_in* out);

}  // namespace zamri
