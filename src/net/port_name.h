// Port names that name a network source instead of a serial port:
//   tcp://HOST:PORT                   connect out and read
//   listen://[ADDR:]PORT              listen; every connection is its own stream
//   printer://[ADDR:]PORT>HOST:PORT   listen and relay each connection to a network printer
//   udp://[ADDR:]PORT                 receive datagrams
// HOST is a name or a dotted IPv4 address, ADDR a dotted IPv4 address (all interfaces when left
// out), PORT 1 to 65535. The prefixes compare without regard to case. Pure text work, so that it
// can be fuzzed and tested on its own.
#pragma once

#include <cstdint>

enum class NetworkKind { kNone, kConnect, kListen, kPrinter, kDatagram };

constexpr int kNetworkHostSize = 64;     // port names are at most 63 characters
constexpr int kNetworkAddressSize = 16;  // "255.255.255.255" and a NUL

struct NetworkPortName {
    NetworkKind kind = NetworkKind::kNone;
    char listenAddress[kNetworkAddressSize] = {};  // empty: every local address
    int listenPort = 0;
    char host[kNetworkHostSize] = {};  // tcp:// and printer://: where to connect
    int hostPort = 0;
};

// Whether the name begins with one of the four prefixes. Such a name never opens a serial port,
// even when the rest of it is malformed.
bool IsNetworkPortName(const char* name);

// 1 when name is a well-formed network port name, stored into out; 0 otherwise (out->kind is
// then kNone, and a name that IsNetworkPortName was malformed).
int ParseNetworkPortName(const char* name, NetworkPortName* out);

// A dotted IPv4 address "a.b.c.d" (each part 0 to 255, one to three digits) as a number in host
// order. 1, or 0 when the text is anything else.
int ParseIpv4(const char* text, int length, uint32_t* address);
