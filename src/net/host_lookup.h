// A host name looked up on a thread of its own, so that name servers that do not answer hold
// neither a network loop nor a stop. One lookup runs at a time and its owner polls for the
// answer; a lookup still running when its owner goes away finishes by itself, unheard.
#pragma once

#include <memory>

#include "net/socket_seam.h"

namespace zamri {

class HostLookup {
  public:
    // How a name is looked up (blocking): SocketLookUpHost's contract.
    using LookUpFunction = int (*)(const char* host, char* address, int size);

    explicit HostLookup(LookUpFunction lookUp = SocketLookUpHost) : lookUpHost(lookUp) {}
    ~HostLookup();
    HostLookup(const HostLookup&) = delete;
    HostLookup& operator=(const HostLookup&) = delete;

    // Starts looking host up, unless a lookup is running already (whose answer then serves).
    // 1, or 0 when no thread could be started.
    int Start(const char* host);
    // The answer of the lookup last started: 1 with address holding dotted IPv4 text, -1 when
    // the name did not resolve, 0 while it runs or when none was started. An answer is given
    // once; the next Start looks up afresh.
    int Take(char* address, int size);
    // Whether a lookup was started and its answer not yet taken.
    bool Pending() const { return shared != nullptr; }

  private:
    struct Shared;
    LookUpFunction lookUpHost;
    std::shared_ptr<Shared> shared;
};

}  // namespace zamri
