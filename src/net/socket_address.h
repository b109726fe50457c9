// IPv4 addresses and the one place names are looked up, shared by both socket backends:
// Winsock and BSD sockets spell them alike once their headers are in.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <string>

namespace zamri {

// Dotted text of an address into out (size bytes, always terminated when size > 0).
void SocketAddressText(const in_addr& address, char* out, int size);
// address: dotted IPv4 text, or null/empty for every local address.
bool SocketFillAddress(const char* address, int port, sockaddr_in* out);
constexpr int kMostHostAddresses = 16;

// Every IPv4 address of host (a name or dotted text) with port, as the name servers give them, at
// most max of them into out; a name is looked up, which may block. The count, or 0 with
// "cannot resolve HOST (REASON)" in error (when not null).
int SocketResolveAll(const char* host, int port, bool datagram, sockaddr_in* out, int max,
                     std::string* error = nullptr);
// The first of them.
bool SocketResolve(const char* host, int port, sockaddr_in* out);

// The platform's words for a failed look-up's code (each backend has its own).
std::string SocketLookUpErrorText(int code);

}  // namespace zamri
