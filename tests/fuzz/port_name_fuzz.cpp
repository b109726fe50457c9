// Fuzz target: any text as a network port name and as an allowed-senders list. Properties, not
// only crashes: a name that parses rebuilds into the same parts, and every entry of a list is
// either taken or reported; a list of nothing but malformed entries lets nobody in.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/allowed_senders.h"
#include "net/port_name.h"

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

std::string Rebuilt(const NetworkPortName& n) {
    std::string listen = (n.listenAddress[0] != 0 ? std::string(n.listenAddress) + ":" : std::string()) +
                         std::to_string(n.listenPort);
    std::string target = std::string(n.host) + ":" + std::to_string(n.hostPort);
    switch (n.kind) {
        case NetworkKind::kConnect:
            return "tcp://" + target;
        case NetworkKind::kListen:
            return "listen://" + listen;
        case NetworkKind::kPrinter:
            return "printer://" + listen + ">" + target;
        case NetworkKind::kDatagram:
            return "udp://" + listen;
        case NetworkKind::kNone:
            break;
    }
    return std::string();
}

size_t Tokens(const std::string& text) {
    size_t count = 0;
    bool inside = false;
    for (char c : text) {
        bool separator = c == ' ' || c == '\t' || c == ',' || c == ';';
        if (!separator && !inside)
            ++count;
        inside = !separator;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size < 300 ? size : 300);
    text = text.substr(0, text.find('\0'));

    NetworkPortName parsed;
    int ok = ParseNetworkPortName(text.c_str(), &parsed);
    if (ok) {
        Require(IsNetworkPortName(text.c_str()) && text.size() <= 63);
        Require(parsed.kind != NetworkKind::kNone);
        bool target = parsed.kind == NetworkKind::kConnect || parsed.kind == NetworkKind::kPrinter;
        Require(!target || (parsed.host[0] != 0 && parsed.hostPort >= 1 && parsed.hostPort <= 65535));
        Require(parsed.kind == NetworkKind::kConnect ||
                (parsed.listenPort >= 1 && parsed.listenPort <= 65535));
        NetworkPortName again;
        Require(ParseNetworkPortName(Rebuilt(parsed).c_str(), &again) == 1);
        Require(again.kind == parsed.kind && again.listenPort == parsed.listenPort &&
                again.hostPort == parsed.hostPort && std::strcmp(again.host, parsed.host) == 0 &&
                std::strcmp(again.listenAddress, parsed.listenAddress) == 0);
    } else {
        Require(parsed.kind == NetworkKind::kNone);
    }

    AllowedSenders list;
    std::string rejected;
    int taken = list.Parse(text.c_str(), &rejected);
    Require(static_cast<size_t>(taken) + Tokens(rejected) == Tokens(text));
    Require(list.Restricts() == (Tokens(text) > 0));
    if (list.Restricts() && taken == 0)
        Require(!list.Allows("127.0.0.1") && !list.Allows("10.0.0.1"));  // never "everyone"
    return 0;
}
