#include "web/web_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codepage/code_page.h"
#include "platform/profile.h"
#include "web/web_gate.h"

namespace zamri {

namespace {

const char kSection[] = "Options";

// A plain IPv4 or IPv6 literal: digits, hex letters, dots and colons only. The server parses
// it for real; this only keeps a host name (which would need a lookup) out.
bool LooksLikeAddress(const char* text) {
    if (text[0] == 0)
        return false;
    for (const char* p = text; *p != 0; ++p) {
        char c = *p;
        bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
                  c == ':';
        if (!ok)
            return false;
    }
    return true;
}

}  // namespace

bool IsLoopbackAddress(const char* address) {
    return std::strncmp(address, "127.", 4) == 0 || std::strcmp(address, "::1") == 0;
}

WebOptions ReadWebOptions(const char* settingsPath) {
    WebOptions options;
    options.recorderCodePage =
        ProfileReadInt(settingsPath, kSection, "RecorderCodePage", kDefaultRecorderCodePage);
    char value[256];
    ProfileReadText(settingsPath, kSection, "HttpPort", "", value, sizeof value);
    if (value[0] == 0)
        return options;
    char* end = nullptr;
    long port = std::strtol(value, &end, 10);
    if (end == value || *end != 0 || port < 1 || port > 65535) {
        std::snprintf(options.error, sizeof options.error,
                      "HttpPort=%.40s in [Options] is not a port from 1 to 65535; the web page is off.",
                      value);
        return options;
    }
    ProfileReadText(settingsPath, kSection, "HttpAddress", "127.0.0.1", value, sizeof value);
    if (value[0] == 0)
        std::snprintf(value, sizeof value, "127.0.0.1");
    if (!LooksLikeAddress(value) || std::strlen(value) >= sizeof options.address) {
        std::snprintf(options.error, sizeof options.error,
                      "HttpAddress=%.60s in [Options] is not an IP address; the web page is off.", value);
        return options;
    }
    std::memcpy(options.address, value, std::strlen(value) + 1);
    // Refused, not cut, and never read as no password: the page stays off.
    std::string password;
    if (ReadSettingsValue(settingsPath, kSection, "HttpPassword", &password, sizeof options.password - 1,
                          "the web page is off") < 0)
        return options;
    std::memcpy(options.password, password.c_str(), password.size() + 1);
    // A cut list could end in the middle of a name; refused as a whole, the page stays off.
    std::string hostNames;
    if (ReadSettingsValue(settingsPath, kSection, "HttpHostNames", &hostNames, sizeof options.hostNames - 1,
                          "the web page is off") < 0)
        return options;
    std::vector<std::string> names;
    std::string bad;
    if (!ParseHostNames(hostNames, &names, &bad)) {
        std::snprintf(options.error, sizeof options.error,
                      "HttpHostNames in [Options]: \"%.60s\" is not a host name; the web page is off.",
                      bad.c_str());
        return options;
    }
    std::memcpy(options.hostNames, hostNames.c_str(), hostNames.size() + 1);
    options.port = static_cast<int>(port);
    return options;
}

}  // namespace zamri
