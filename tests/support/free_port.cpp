#include "support/free_port.h"

#include <atomic>
#include <chrono>

#include "net/socket_seam.h"

namespace testing_support {

namespace {

bool Bindable(bool datagram, int port) {
    zamri::SocketHandle socket = datagram ? zamri::SocketOpenDatagram() : zamri::SocketOpenStream();
    if (socket == zamri::kInvalidSocket)
        return false;
    bool bound = zamri::SocketBindAddress(socket, nullptr, port) != 0;
    zamri::SocketClose(socket);
    return bound;
}

}  // namespace

int FreePort(PortUse use) {
    // Started apart in every process, so that test programs running side by side seldom try the
    // same ports.
    static std::atomic<unsigned> next{
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() % 12000)};
    int ready = zamri::SocketStartup();
    int found = 0;
    for (int attempt = 0; attempt < 1000 && found == 0; ++attempt) {
        int port = 20000 + static_cast<int>(next++ * 104729u % 12000u);
        if ((use == PortUse::kDatagram || Bindable(false, port)) &&
            (use == PortUse::kStream || Bindable(true, port)))
            found = port;
    }
    if (ready)
        zamri::SocketCleanup();
    return found;
}

}  // namespace testing_support
