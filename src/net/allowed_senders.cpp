#include "net/allowed_senders.h"

#include <chrono>
#include <cstring>

#include "net/port_name.h"

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ';';
}

// "a.b.c.d" or "a.b.c.d/n" (n 0 to 32).
bool ParseEntry(const char* text, int length, uint32_t* network, uint32_t* mask) {
    const char* slash = static_cast<const char*>(std::memchr(text, '/', static_cast<size_t>(length)));
    int addressLength = slash != nullptr ? static_cast<int>(slash - text) : length;
    uint32_t address;
    if (!ParseIpv4(text, addressLength, &address))
        return false;
    int bits = 32;
    if (slash != nullptr) {
        int digits = length - addressLength - 1;
        if (digits < 1 || digits > 2)
            return false;
        bits = 0;
        for (int i = 0; i < digits; ++i) {
            char c = slash[1 + i];
            if (c < '0' || c > '9')
                return false;
            bits = bits * 10 + (c - '0');
        }
        if (bits > 32)
            return false;
    }
    *mask = bits == 0 ? 0u : ~0u << (32 - bits);
    *network = address & *mask;
    return true;
}

}  // namespace

int AllowedSenders::Parse(const char* text, std::string* rejected) {
    blocks.clear();
    restricted = false;
    if (rejected != nullptr)
        rejected->clear();
    if (text == nullptr)
        return 0;
    const char* p = text;
    while (*p != 0) {
        while (*p != 0 && IsSeparator(*p))
            ++p;
        const char* start = p;
        while (*p != 0 && !IsSeparator(*p))
            ++p;
        int length = static_cast<int>(p - start);
        if (length == 0)
            continue;
        restricted = true;
        Block block;
        if (ParseEntry(start, length, &block.network, &block.mask)) {
            blocks.push_back(block);
        } else if (rejected != nullptr) {
            if (!rejected->empty())
                rejected->push_back(' ');
            rejected->append(start, static_cast<size_t>(length));
        }
    }
    return static_cast<int>(blocks.size());
}

bool AllowedSenders::Allows(uint32_t address) const {
    if (!restricted)
        return true;
    for (const Block& block : blocks) {
        if ((address & block.mask) == block.network)
            return true;
    }
    return false;
}

bool AllowedSenders::Allows(const char* address) const {
    if (!restricted)
        return true;
    uint32_t value;
    if (address == nullptr || !ParseIpv4(address, static_cast<int>(std::strlen(address)), &value))
        return false;
    return Allows(value);
}

bool RefusalLog::Refused(const char* address) {
    auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return Refused(address, now.count());
}

bool RefusalLog::Refused(const char* address, int64_t now) {
    ++count;
    std::string key = address != nullptr ? address : "";
    auto found = lastReported.find(key);
    if (found != lastReported.end()) {
        if (now - found->second < kQuietMilliseconds)
            return false;
        found->second = now;
        return true;
    }
    if (lastReported.size() >= kMaxRemembered) {
        // Forget whoever has been quiet for a minute; if everyone is recent, start afresh
        // rather than grow without bound (a few extra lines at worst).
        for (auto it = lastReported.begin(); it != lastReported.end();) {
            it = now - it->second >= kQuietMilliseconds ? lastReported.erase(it) : std::next(it);
        }
        if (lastReported.size() >= kMaxRemembered)
            lastReported.clear();
    }
    lastReported.emplace(std::move(key), now);
    return true;
}
