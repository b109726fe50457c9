#include "net/host_lookup.h"

#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

namespace zamri {

struct HostLookup::Shared {
    std::mutex lock;
    bool done = false;
    int found = 0;
    char host[256] = {};
    char address[kAddressTextSize] = {};
};

HostLookup::~HostLookup() = default;  // a running lookup keeps its own share

int HostLookup::Start(const char* host) {
    if (shared != nullptr)
        return 1;
    std::shared_ptr<Shared> lookup = std::make_shared<Shared>();
    std::snprintf(lookup->host, sizeof lookup->host, "%s", host != nullptr ? host : "");
    try {
        LookUpFunction lookUp = lookUpHost;
        std::thread([lookup, lookUp] {
            char address[kAddressTextSize] = {};
            int found = lookUp(lookup->host, address, sizeof address);
            std::lock_guard<std::mutex> guard(lookup->lock);
            lookup->found = found;
            std::snprintf(lookup->address, sizeof lookup->address, "%s", address);
            lookup->done = true;
        }).detach();
    } catch (const std::system_error&) {
        return 0;
    }
    shared = std::move(lookup);
    return 1;
}

int HostLookup::Take(char* address, int size) {
    std::shared_ptr<Shared> lookup = shared;
    if (lookup == nullptr)
        return 0;
    int answer;
    {
        std::lock_guard<std::mutex> guard(lookup->lock);
        if (!lookup->done)
            return 0;
        answer = lookup->found != 0 ? 1 : -1;
        if (answer > 0)
            std::snprintf(address, static_cast<size_t>(size), "%s", lookup->address);
    }
    shared.reset();
    return answer;
}

}  // namespace zamri
