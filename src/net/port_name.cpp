#include "net/port_name.h"

#include <cstring>

namespace {

struct Prefix {
    const char* text;
    NetworkKind kind;
};

const Prefix kPrefixes[] = {{"tcp://", NetworkKind::kConnect},
                            {"listen://", NetworkKind::kListen},
                            {"printer://", NetworkKind::kPrinter},
                            {"udp://", NetworkKind::kDatagram}};

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

NetworkKind KindOf(const char* name, int* prefixLength) {
    for (const Prefix& prefix : kPrefixes) {
        int length = static_cast<int>(std::strlen(prefix.text));
        int i = 0;
        while (i < length && name[i] != 0 && Lower(name[i]) == prefix.text[i])
            ++i;
        if (i == length) {
            *prefixLength = length;
            return prefix.kind;
        }
    }
    return NetworkKind::kNone;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// 1 to 65535 in plain decimal digits.
bool ParsePort(const char* text, int length, int* port) {
    if (length < 1 || length > 5)
        return false;
    int value = 0;
    for (int i = 0; i < length; ++i) {
        if (!IsDigit(text[i]))
            return false;
        value = value * 10 + (text[i] - '0');
    }
    if (value < 1 || value > 65535)
        return false;
    *port = value;
    return true;
}

// A host name (letters, digits, '-' and '.', labels not empty) or, when it looks like numbers
// only, a dotted IPv4 address.
bool ParseHost(const char* text, int length, char* out) {
    if (length < 1 || length >= kNetworkHostSize)
        return false;
    bool numeric = true;
    for (int i = 0; i < length; ++i) {
        char c = text[i];
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!(letter || IsDigit(c) || c == '-' || c == '.'))
            return false;
        if (c == '.' && (i == 0 || i == length - 1 || text[i - 1] == '.'))
            return false;
        if (letter || c == '-')
            numeric = false;
    }
    if (text[0] == '-' || text[length - 1] == '-')
        return false;
    uint32_t ignored;
    if (numeric && !ParseIpv4(text, length, &ignored))
        return false;
    std::memcpy(out, text, static_cast<size_t>(length));
    out[length] = 0;
    return true;
}

// "[ADDR:]PORT"
bool ParseListenPart(const char* text, int length, NetworkPortName* out) {
    int colon = -1;
    for (int i = 0; i < length; ++i) {
        if (text[i] == ':') {
            if (colon >= 0)
                return false;
            colon = i;
        }
    }
    if (colon < 0)
        return ParsePort(text, length, &out->listenPort);
    uint32_t ignored;
    if (!ParseIpv4(text, colon, &ignored))
        return false;
    std::memcpy(out->listenAddress, text, static_cast<size_t>(colon));
    out->listenAddress[colon] = 0;
    return ParsePort(text + colon + 1, length - colon - 1, &out->listenPort);
}

// "HOST:PORT"
bool ParseTarget(const char* text, int length, NetworkPortName* out) {
    const char* colon = static_cast<const char*>(std::memchr(text, ':', static_cast<size_t>(length)));
    if (colon == nullptr)
        return false;
    int hostLength = static_cast<int>(colon - text);
    return ParseHost(text, hostLength, out->host) &&
           ParsePort(colon + 1, length - hostLength - 1, &out->hostPort);
}

}  // namespace

int ParseIpv4(const char* text, int length, uint32_t* address) {
    uint32_t value = 0;
    int parts = 0;
    int i = 0;
    while (parts < 4) {
        int digits = 0;
        int part = 0;
        while (i < length && IsDigit(text[i]) && digits < 4) {
            part = part * 10 + (text[i] - '0');
            ++digits;
            ++i;
        }
        if (digits == 0 || digits > 3 || part > 255)
            return 0;
        value = (value << 8) | static_cast<uint32_t>(part);
        ++parts;
        if (parts < 4) {
            if (i >= length || text[i] != '.')
                return 0;
            ++i;
        }
    }
    if (i != length)
        return 0;
    *address = value;
    return 1;
}

bool IsNetworkPortName(const char* name) {
    int prefixLength = 0;
    return name != nullptr && KindOf(name, &prefixLength) != NetworkKind::kNone;
}

int ParseNetworkPortName(const char* name, NetworkPortName* out) {
    *out = NetworkPortName();
    if (name == nullptr)
        return 0;
    int prefixLength = 0;
    NetworkKind kind = KindOf(name, &prefixLength);
    size_t total = std::strlen(name);
    if (kind == NetworkKind::kNone || total >= static_cast<size_t>(kNetworkHostSize))
        return 0;
    const char* rest = name + prefixLength;
    int length = static_cast<int>(total) - prefixLength;
    NetworkPortName parsed;
    bool ok = false;
    switch (kind) {
        case NetworkKind::kConnect:
            ok = ParseTarget(rest, length, &parsed);
            break;
        case NetworkKind::kListen:
        case NetworkKind::kDatagram:
            ok = ParseListenPart(rest, length, &parsed);
            break;
        case NetworkKind::kPrinter: {
            const char* arrow = static_cast<const char*>(std::memchr(rest, '>', static_cast<size_t>(length)));
            if (arrow != nullptr) {
                int left = static_cast<int>(arrow - rest);
                ok = ParseListenPart(rest, left, &parsed) &&
                     ParseTarget(arrow + 1, length - left - 1, &parsed);
            }
            break;
        }
        case NetworkKind::kNone:
            break;
    }
    if (!ok)
        return 0;
    parsed.kind = kind;
    *out = parsed;
    return 1;
}
